// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "firmware_file_choice.h"

#include "device_functions/firmware_tool.h"

namespace testsupport {

FirmwareFileChoice::FirmwareFileChoice(const QString &path) : path_(path)
{
    firmware::set_file_chooser([this](QWidget *) { return path_; });
}

FirmwareFileChoice::~FirmwareFileChoice()
{
    firmware::set_file_chooser({});
}

} // namespace testsupport
