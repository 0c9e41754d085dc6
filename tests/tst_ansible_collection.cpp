// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The Ansible collection holmcraft.kaldorium_lpt as its users run it: Debian's ansible-core on
// localhost (local connection), its modules running the real kaldorium-lpt against simulated
// devices listed in the stand-in port list. A playbook run takes seconds, so there are few: the
// collection's own example three times (a first run, a second run, --check --diff on a drifted
// device), and one playbook of the modules' answers, whose results the rows check.

#include "cli_runner.h"
#include "device_link/device_contract.h"
#include "device_link/frames.h"
#include "simulated_device_endpoint.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace testsupport;

// (Declared before the string tables, which moc does not read.)
class TestAnsibleCollection : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void readmeShowsTheExample_data();
    void readmeShowsTheExample();
    void documentation_data();
    void documentation();
    void exampleBringsEveryDeviceToTheProfile();
    void moduleAnswers_data();
    void moduleAnswers();

private:
    // Runs the playbook of kAnswers once; the registered result of each task by its name.
    const QJsonObject &answers();
    bool answersRan_ = false;
    QJsonObject answers_;
    QString answersDirectory_;
    QString nodes_[2];
};

namespace {

const QString kCollection = QStringLiteral(KALDORIUM_ANSIBLE_DIR);

// The example's defaults, by read code, as a device holds them.
const QMap<uint8_t, uint32_t> kLine3 = {{contract::ReadDataDirection, 1},
                                        {contract::ReadDataLevels, 0x81},
                                        {contract::ReadControlDirection, 0},
                                        {contract::ReadControlLevels, 0x05},
                                        {contract::ReadStatusLevels, 0x28}};

QByteArray storeFrames(const QMap<uint8_t, uint32_t> &values)
{
    QByteArray frames;
    for (auto item = values.begin(); item != values.end(); ++item)
        frames += frames::command_frame(item.key() - contract::kReadOffset, item.value());
    return frames;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Two simulated devices, at C100 and at C200, in the stand-in port list; each counts the store
// frames it takes.
struct TwoDevices {
    TwoDevices()
    {
        second.device().takeHostBytes(frames::command_frame(contract::SetAddress, 0xC200));
        for (int index : {0, 1}) {
            QObject::connect(index ? &second : &first, &SimulatedDeviceEndpoint::commandReceived,
                             [this, index](quint8 code, quint32) {
                                 if (code != contract::SetAddress &&
                                     code < contract::ReadDataDirection)
                                     ++stores[index];
                             });
        }
        cli.follow(first, QStringLiteral("ttyACM0"));
        cli.follow(second, QStringLiteral("ttyACM1"));
    }
    QString node(int index) const
    {
        return cli.nodeDirectory() + (index ? QStringLiteral("/KALDORIUM_LPT_C200")
                                            : QStringLiteral("/KALDORIUM_LPT_C100"));
    }
    QList<int> storeCounts() const { return {stores[0], stores[1]}; }

    SimulatedDeviceEndpoint first;
    SimulatedDeviceEndpoint second;
    CliRunner cli;
    int stores[2] = {};
};

// ansible-playbook and ansible-doc with the collection from this checkout, a home and
// temporary files of their own, and an inventory of localhost in the example's group.
class Ansible {
public:
    Ansible()
    {
        QDir(dir_.path()).mkpath(QStringLiteral("collections/ansible_collections/holmcraft"));
        QDir(dir_.path()).mkpath(QStringLiteral("home"));
        QFile::link(kCollection, dir_.filePath(QStringLiteral(
                                     "collections/ansible_collections/holmcraft/kaldorium_lpt")));
        writeFile(inventory(), "[machine_controllers]\nlocalhost ansible_connection=local\n");
        const std::pair<const char *, QString> variables[] = {
            {"ANSIBLE_COLLECTIONS_PATH", dir_.filePath(QStringLiteral("collections"))},
            {"HOME", dir_.filePath(QStringLiteral("home"))},
            {"ANSIBLE_LOCAL_TEMP", dir_.filePath(QStringLiteral("home/tmp"))},
            {"LC_ALL", QStringLiteral("C.UTF-8")},
            {"ANSIBLE_NOCOLOR", QStringLiteral("1")},
            {"ANSIBLE_PYTHON_INTERPRETER", QStringLiteral("auto_silent")},
            {"ANSIBLE_RETRY_FILES_ENABLED", QStringLiteral("0")},
        };
        for (const auto &variable : variables)
            environment_.insert(QString::fromLatin1(variable.first), variable.second);
    }

    static QString program(const char *name)
    {
        return QStandardPaths::findExecutable(QString::fromLatin1(name));
    }
    QString inventory() const { return dir_.filePath(QStringLiteral("inventory.ini")); }

    CliResult playbook(CliRunner &cli, const QString &playbook, const QStringList &options = {})
    {
        return cli.runProgram(program("ansible-playbook"),
                              QStringList{"-i", inventory(), "-c", "local"} + options +
                                  QStringList{playbook},
                              environment_, 240000);
    }
    CliResult doc(CliRunner &cli, const QString &module)
    {
        return cli.runProgram(program("ansible-doc"), {module}, environment_, 120000);
    }

private:
    QTemporaryDir dir_;
    QProcessEnvironment environment_;
};

// The "changed" count of localhost in a play recap; -1 when the recap has failures or is
// missing.
int recapChanged(const QByteArray &out)
{
    static const QRegularExpression recap(
        QStringLiteral(R"(localhost\s+: ok=\d+\s+changed=(\d+)\s+unreachable=0\s+failed=0)"));
    const QRegularExpressionMatch match = recap.match(QString::fromUtf8(out));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// Whether actual has what expected gives: objects key by key (a null expected key: absent or
// null; an empty one: empty), arrays element by element, a string with "..." as its start and
// its end.
bool matches(const QJsonValue &expected, const QJsonValue &actual, const QString &where,
             QString *mismatch)
{
    if (expected.isObject()) {
        const QJsonObject want = expected.toObject();
        const QJsonObject have = actual.toObject();
        if (want.isEmpty() && !have.isEmpty()) {
            *mismatch = where + QStringLiteral(" is not empty");
            return false;
        }
        for (auto item = want.begin(); item != want.end(); ++item) {
            if (item.value().isNull() && have.value(item.key()).isUndefined())
                continue;
            if (!actual.isObject() || !matches(item.value(), have.value(item.key()),
                                               where + QLatin1Char('.') + item.key(), mismatch))
                return false;
        }
        if (!actual.isObject())
            *mismatch = where + QStringLiteral(" is no object");
        return actual.isObject();
    }
    if (expected.isArray()) {
        const QJsonArray want = expected.toArray();
        const QJsonArray have = actual.toArray();
        if (!actual.isArray() || want.size() != have.size()) {
            *mismatch = where + QStringLiteral(" has another length");
            return false;
        }
        for (int index = 0; index < want.size(); ++index) {
            if (!matches(want[index], have[index], where + QStringLiteral("[%1]").arg(index),
                         mismatch))
                return false;
        }
        return true;
    }
    bool same = expected == actual;
    if (expected.isString() && expected.toString().contains(QStringLiteral("..."))) {
        const QStringList ends = expected.toString().split(QStringLiteral("..."));
        same = actual.toString().startsWith(ends[0]) && actual.toString().endsWith(ends[1]);
    }
    if (!same) {
        *mismatch = where + ": expected " + QJsonDocument(QJsonArray{expected}).toJson() + " got " +
                    QJsonDocument(QJsonArray{actual}).toJson();
    }
    return same;
}

// The modules' answers: one task each, in this order, on the devices as TwoDevices plugs them
// in, the second holding line 3's defaults. @A and @B are the devices' nodes, @dir a directory
// with bad.profile and line3.profile. "failed" rows carry the command line's error line.
struct Answer {
    const char *name;
    const char *module;
    bool check;
    const char *arguments;
    const char *expected;
};
const Answer kAnswers[] = {
    {"missing device", "defaults", false, R"({"device": "C800", "values": {"data.levels": 1}})",
     R"({"failed": true, "rc": 69, "msg": "kaldorium-lpt: no KALDORIUM-LPT with address C800 )"
     R"j(found (attached: C100, C200); see kaldorium-lpt list (exit code 69)"})j"},
    {"bad profile", "defaults", false, R"({"port": "@A", "profile": "@dir/bad.profile"})",
     R"({"failed": true, "rc": 65, "msg": "kaldorium-lpt: @dir/bad.profile:1: status.levels: )"
     R"j(0x29 sets bits 0 to 2...(exit code 65)"})j"},
    {"bad profile, check mode", "defaults", true,
     R"({"port": "@A", "profile": "@dir/bad.profile"})",
     R"({"failed": true, "rc": 65, "msg": "kaldorium-lpt: @dir/bad.profile:1: status.levels: )"
     R"j(0x29 sets bits 0 to 2...(exit code 65)"})j"},
    {"a key cannot pass for an option", "defaults", false,
     R"({"port": "@A", "values": {"--port": "@B"}})",
     R"j({"failed": true, "msg": "kaldorium-lpt: argument 1: unknown key \"--port\"...(exit code 65)"})j"},
    {"node gone", "defaults", false, R"({"port": "@dir/gone", "values": {"data.levels": 1}})",
     R"({"failed": true, "msg": "kaldorium-lpt: cannot open @dir/gone: no such device node...)"
     R"j((exit code 69)"})j"},
    {"two attached, none chosen", "defaults", false, R"({"values": {"data.levels": 1}})",
     R"({"failed": true, "rc": 64, "msg": "kaldorium-lpt: several KALDORIUM-LPT devices: C100, )"
     R"j(C200...(exit code 64)"})j"},
    {"no values", "defaults", false, R"({"port": "@A", "values": {}})",
     R"({"failed": true, "msg": "values gives no key; give at least one of data.direction, )"
     R"(data.levels, control.direction, control.levels, status.levels"})"},
    {"profile from standard input", "defaults", false, R"({"port": "@A", "profile": "-"})",
     R"({"failed": true, "msg": "profile names a file on the managed machine; - (standard )"
     R"(input) is none: give the file, or the values"})"},
    {"check mode shows the drift", "defaults", true,
     R"({"port": "@A", "profile": "@dir/line3.profile"})",
     R"({"changed": true, "node": "@A",
         "before": {"data.direction": 0, "data.levels": 0, "control.direction": 0,
                    "control.levels": 0, "status.levels": 0},
         "after": {"data.direction": 1, "data.levels": 129, "control.direction": 0,
                   "control.levels": 5, "status.levels": 40},
         "differences": {"data.direction": {"device": 0, "profile": 1},
                         "data.levels": {"device": 0, "profile": 129},
                         "control.direction": null,
                         "control.levels": {"device": 0, "profile": 5},
                         "status.levels": {"device": 0, "profile": 40}}})"},
    {"info: the devices and their defaults, nothing written in check mode", "info", false, "{}",
     R"({"changed": false, "devices": [
         {"address": "C100", "node": "@A", "port": "ttyACM0", "node_present": true,
          "defaults": {"data": {"direction": "input", "levels": 0},
                       "control": {"direction": "input", "levels": 0}, "status": {"levels": 0}}},
         {"address": "C200", "node": "@B", "port": "ttyACM1", "node_present": true,
          "defaults": {"data": {"direction": "output", "levels": 129},
                       "control": {"direction": "input", "levels": 5}, "status": {"levels": 40}}}
         ]})"},
    {"write stores what differs", "defaults", false,
     R"({"port": "@A", "values": {"data": {"direction": "output"}, "data.levels": "0x3C",
                                  "control.direction": 0}})",
     R"({"changed": true, "verified": true, "node": "@A",
         "before": {"data.direction": 0, "data.levels": 0, "control.direction": 0},
         "after": {"data.direction": 1, "data.levels": 60, "control.direction": 0},
         "differences": {"data.direction": {"device": 0, "profile": 1},
                         "data.levels": {"device": 0, "profile": 60},
                         "control.direction": null}})"},
    {"the same write again", "defaults", false,
     R"({"port": "@A", "values": {"data.direction": "output", "data.levels": 60}})",
     R"({"changed": false, "differences": {},
         "before": {"data.direction": 1, "data.levels": 60}})"},
    {"write without verify", "defaults", false,
     R"({"port": "@A", "values": {"status.levels": 8}, "verify": false})",
     R"({"changed": true, "verified": false, "after": {"status.levels": 8}})"},
    {"info: the list only", "info", false, R"({"defaults": false})",
     R"({"devices": [{"address": "C100", "defaults": null, "error": null},
                     {"address": "C200", "defaults": null, "error": null}]})"},
};

} // namespace

void TestAnsibleCollection::initTestCase()
{
    if (Ansible::program("ansible-playbook").isEmpty() || Ansible::program("ansible-doc").isEmpty())
        QSKIP("ansible-core is not installed (scripts/install-deps.sh test installs it)");
}

void TestAnsibleCollection::readmeShowsTheExample_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("inventory") << "examples/inventory.ini";
    QTest::newRow("playbook") << "examples/line3-defaults.yml";
}

void TestAnsibleCollection::readmeShowsTheExample()
{
    QFETCH(QString, file);
    QByteArray example = readFile(kCollection + '/' + file);
    // Without the licence header (four lines and a blank one).
    example = example.mid(example.indexOf("\n\n") + 2);
    QVERIFY(!example.isEmpty());
    QVERIFY2(readFile(kCollection + QStringLiteral("/README.md")).contains(example),
             "the README shows another version of " + file.toUtf8());
}

void TestAnsibleCollection::documentation_data()
{
    QTest::addColumn<QString>("module");
    QTest::newRow("defaults") << "holmcraft.kaldorium_lpt.defaults";
    QTest::newRow("info") << "holmcraft.kaldorium_lpt.info";
}

void TestAnsibleCollection::documentation()
{
    QFETCH(QString, module);
    CliRunner cli;
    Ansible ansible;
    const CliResult result = ansible.doc(cli, module);
    QVERIFY2(result.exitCode == 0, result.err);
    // The page opens with the module's name: "> HOLMCRAFT.KALDORIUM_LPT.INFO" up to
    // ansible-core 2.14 (Debian 12), "> MODULE holmcraft.kaldorium_lpt.info (path)" since.
    const QByteArray heading = result.out.left(result.out.indexOf('\n'));
    QVERIFY2(heading.startsWith("> ") && heading.toLower().contains(module.toUtf8()), heading);
    for (const QByteArray &part :
         {QByteArray("OPTIONS"), QByteArray("EXAMPLES:"), QByteArray("RETURN VALUES:")})
        QVERIFY2(result.out.contains(part), part);
}

void TestAnsibleCollection::exampleBringsEveryDeviceToTheProfile()
{
    TwoDevices devices;
    devices.second.device().takeHostBytes(storeFrames(kLine3));
    Ansible ansible;
    const QString example = kCollection + QStringLiteral("/examples/line3-defaults.yml");

    // The first run stores what differs in the first device and nothing in the second.
    const CliResult first = ansible.playbook(devices.cli, example);
    QVERIFY2(first.exitCode == 0, first.out + first.err);
    QCOMPARE(recapChanged(first.out), 1);
    QVERIFY2(first.out.contains("C100 on localhost had drifted: data.direction, data.levels, "
                                "control.levels, status.levels\""),
             first.out);
    QVERIFY2(!first.out.contains("C200 on localhost had drifted"), first.out);
    QCOMPARE(devices.storeCounts(), (QList<int>{4, 0}));
    for (auto item = kLine3.begin(); item != kLine3.end(); ++item)
        QCOMPARE(devices.first.device().storedValue(item.key()), item.value());

    // The second run finds both at the profile.
    const CliResult second = ansible.playbook(devices.cli, example);
    QVERIFY2(second.exitCode == 0, second.out + second.err);
    QCOMPARE(recapChanged(second.out), 0);
    QVERIFY2(!second.out.contains("had drifted"), second.out);
    QCOMPARE(devices.storeCounts(), (QList<int>{4, 0}));

    // Someone changes two items of the second device; a check run shows it and writes nothing.
    devices.second.device().takeHostBytes(
        frames::command_frame(contract::StoreDataLevels, 0x3C) +
        frames::command_frame(contract::StoreControlDirection, 1));
    const CliResult check = ansible.playbook(devices.cli, example, {"--check", "--diff"});
    QVERIFY2(check.exitCode == 0, check.out + check.err);
    QCOMPARE(recapChanged(check.out), 1);
    QVERIFY2(check.out.contains("C200 on localhost had drifted: data.levels, control.direction\""),
             check.out);
    const QString node = devices.node(1);
    for (const QString &line :
         {"--- before: " + node + ": power-on defaults before",
          "+++ after: " + node + ": power-on defaults after",
          QStringLiteral(" data.direction=output"), QStringLiteral("-data.levels=0x3C"),
          QStringLiteral("-control.direction=output"), QStringLiteral("+data.levels=0x81"),
          QStringLiteral("+control.direction=input"), QStringLiteral(" status.levels=0x28")})
        QVERIFY2(check.out.contains('\n' + line.toUtf8() + '\n'), qPrintable(line));
    QVERIFY2(!check.out.contains(devices.node(0).toUtf8() + ": power-on defaults"), check.out);
    QCOMPARE(devices.storeCounts(), (QList<int>{4, 0}));
    const CliResult readBack = devices.cli.run({"--port", node, "defaults", "read"});
    QCOMPARE(readBack.exitCode, 0);
    QCOMPARE(readBack.out, QByteArray("data.direction=output\ndata.levels=0x3C\n"
                                      "control.direction=output\ncontrol.levels=0x05\n"
                                      "status.levels=0x28\n"));
}

const QJsonObject &TestAnsibleCollection::answers()
{
    if (answersRan_)
        return answers_;
    answersRan_ = true;
    TwoDevices devices;
    devices.second.device().takeHostBytes(storeFrames(kLine3));
    answersDirectory_ = devices.cli.filePath(QStringLiteral("answers"));
    nodes_[0] = devices.node(0);
    nodes_[1] = devices.node(1);
    QDir().mkpath(answersDirectory_);
    writeFile(answersDirectory_ + QStringLiteral("/bad.profile"), "status.levels=0x29\n");
    writeFile(answersDirectory_ + QStringLiteral("/line3.profile"),
              "# line 3\ndata.direction=output\ndata.levels=0x81\ncontrol.direction=input\n"
              "control.levels=0x05\nstatus.levels=0x28\n");

    QByteArray playbook = "- hosts: all\n  gather_facts: false\n  tasks:\n";
    QByteArray keep;
    for (size_t index = 0; index < std::size(kAnswers); ++index) {
        const Answer &answer = kAnswers[index];
        playbook += QStringLiteral("    - name: \"%1\"\n      holmcraft.kaldorium_lpt.%2: %3\n"
                                   "      check_mode: %4\n      ignore_errors: true\n"
                                   "      register: answer%5\n")
                        .arg(QString::fromUtf8(answer.name), QString::fromLatin1(answer.module),
                             QString::fromUtf8(answer.arguments).simplified(),
                             answer.check ? QStringLiteral("true") : QStringLiteral("false"))
                        .arg(index)
                        .toUtf8();
        keep += QStringLiteral("'%1': answer%2, ")
                    .arg(QString::fromUtf8(answer.name))
                    .arg(index)
                    .toUtf8();
    }
    const QString results = answersDirectory_ + QStringLiteral("/results.json");
    playbook += "    - name: keep the answers\n      ansible.builtin.copy:\n"
                "        content: \"{{ {" +
                keep +
                "} | to_json }}\"\n"
                "        dest: " +
                results.toUtf8() + "\n";
    playbook.replace("@A", nodes_[0].toUtf8())
        .replace("@B", nodes_[1].toUtf8())
        .replace("@dir", answersDirectory_.toUtf8());
    const QString file = answersDirectory_ + QStringLiteral("/answers.yml");
    writeFile(file, playbook);

    Ansible ansible;
    const CliResult run = ansible.playbook(devices.cli, file);
    if (run.exitCode != 0)
        qWarning("%s%s", run.out.constData(), run.err.constData());
    answers_ = QJsonDocument::fromJson(readFile(results)).object();
    // Stored were only the write rows' differing items, all in the first device.
    if (devices.storeCounts() != QList<int>{3, 0})
        qWarning("store frames taken: %d and %d, not 3 and 0", devices.stores[0],
                 devices.stores[1]);
    else
        answers_.insert(QStringLiteral("store frames"), QStringLiteral("as expected"));
    return answers_;
}

void TestAnsibleCollection::moduleAnswers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("expected");
    for (const Answer &answer : kAnswers)
        QTest::newRow(answer.name) << QString::fromUtf8(answer.name) << QByteArray(answer.expected);
    QTest::newRow("store frames only where the write rows differ")
        << QStringLiteral("store frames") << QByteArray(R"("as expected")");
}

void TestAnsibleCollection::moduleAnswers()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, expected);
    const QJsonObject &results = answers();
    QVERIFY2(!results.isEmpty(), "the playbook of the modules' answers kept no results");
    expected.replace("@A", nodes_[0].toUtf8())
        .replace("@B", nodes_[1].toUtf8())
        .replace("@dir", answersDirectory_.toUtf8());
    const QJsonDocument want = QJsonDocument::fromJson("[" + expected + "]");
    QVERIFY2(!want.isNull(), expected);
    QString mismatch;
    QVERIFY2(matches(want.array().first(), results.value(name), name, &mismatch),
             qPrintable(mismatch + "\n" + QJsonDocument(results.value(name).toObject()).toJson()));
}

QTEST_MAIN(TestAnsibleCollection)
#include "tst_ansible_collection.moc"
