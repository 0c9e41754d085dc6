// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The window's form as the designer file builds it: widget tree, layouts, spacers, texts,
// initial check, enabled and focus states and geometry.
// Built on a plain QMainWindow; no device, no MainWindow logic.
#include "ui_mainwindow.h"

#include <QtTest>

#include <iterator>

namespace {

constexpr int U = QWIDGETSIZE_MAX;

struct Form {
    QMainWindow window;
    Ui_MainWindow ui;
    Form() { ui.setupUi(&window); }
};

// One widget of the form tree. `index` is the place in the parent's layout (for a page: the
// tab index; -1: in no layout). Rows are kept in tree order (depth first).
struct Node {
    QString name, cls, parent;
    int index;
    QSize min, max;
    QString text;
};

const QString footerText = QStringLiteral("www.holmcraft.example") + QString(48, QLatin1Char(' ')) +
                           QStringLiteral("05072020");

QVector<Node> formTree()
{
    QVector<Node> t;
    const QSize none(0, 0), unl(U, U);
    auto add = [&](const char *n, const char *c, const char *p, int i, QSize mn, QSize mx,
                   const QString &text = QString()) {
        t.append({QLatin1String(n), QLatin1String(c), QLatin1String(p), i, mn, mx, text});
    };
    auto fixed = [&](const char *n, const char *c, const char *p, int i, QSize s, const char *txt) {
        add(n, c, p, i, s, s, QLatin1String(txt));
    };
    // numbered widgets, descending, at consecutive places from index 1
    auto run = [&](const char *prefix, const char *txt, const char *cls, const char *parent,
                   int from, int to, QSize s) {
        for (int n = from; n >= to; --n)
            add(QByteArray(prefix + QByteArray::number(n)).constData(), cls, parent, 1 + from - n,
                s, s, QLatin1String(txt) + QString::number(n));
    };
    const QSize pin(24, 24), box(40, 22);

    add("centralwidget", "QWidget", "MainWindow", -1, none, unl);
    fixed("tabWidget", "QTabWidget", "centralwidget", 0, {600, 300}, "");
    add("tab_3", "QWidget", "tabWidget", 0, none, unl);
    add("groupBox_KALDORIUM_LPT", "QGroupBox", "tab_3", 0, none, {2000, 200}, "KALDORIUM-LPT");
    add("refresh_pushButton", "QPushButton", "groupBox_KALDORIUM_LPT", 0, none, unl, "Refresh");
    fixed("port_list_comboBox", "QComboBox", "groupBox_KALDORIUM_LPT", 1, {170, 25}, "");
    fixed("Open_pushButton", "QPushButton", "groupBox_KALDORIUM_LPT", 2, {80, 25}, "Open");
    fixed("Close_pushButton", "QPushButton", "groupBox_KALDORIUM_LPT", 3, {80, 25}, "Close");
    add("tab_4", "QWidget", "tabWidget", 1, none, unl);
    add("groupBox_TEST", "QGroupBox", "tab_4", 0, {450, 0}, {1000, 1000}, "TEST");
    add("frame", "QFrame", "groupBox_TEST", 0, none, {U, 40});
    run("pushButton_", "", "QPushButton", "frame", 13, 1, pin);
    add("frame_2", "QFrame", "groupBox_TEST", 1, none, {U, 40});
    run("pushButton_", "", "QPushButton", "frame_2", 25, 14, pin);
    add("frame_3", "QFrame", "groupBox_TEST", 2, none, {U, 100});
    add("groupBox_4", "QGroupBox", "frame_3", 0, {0, 60}, {U, 100}, "Data direction");
    add("radioButton", "QRadioButton", "groupBox_4", 0, none, unl, "Input");
    add("radioButton_2", "QRadioButton", "groupBox_4", 1, none, unl, "Output");
    add("groupBox_5", "QGroupBox", "frame_3", 1, {0, 60}, {U, 100}, "Control direction");
    add("radioButton_3", "QRadioButton", "groupBox_5", 0, none, unl, "Input");
    add("radioButton_4", "QRadioButton", "groupBox_5", 1, none, unl, "Output");
    add("frame_4", "QFrame", "frame_3", 2, {0, 70}, {U, 70});
    add("Run_pushButton", "QPushButton", "frame_4", 0, none, unl, "Run test");
    add("Sto_pushButton", "QPushButton", "frame_4", 1, none, unl, "Stop test");
    add("tab_5", "QWidget", "tabWidget", 2, none, unl);
    add("groupBox_ADDRESS", "QGroupBox", "tab_5", 0, {0, 60}, {1000, 60}, "ADDRESS");
    fixed("address_comboBox", "QComboBox", "groupBox_ADDRESS", 0, {80, 30}, "");
    fixed("set_pushButton", "QPushButton", "groupBox_ADDRESS", 1, {80, 30}, "Set");
    add("tab_6", "QWidget", "tabWidget", 3, none, unl);
    add("groupBox_2", "QGroupBox", "tab_6", 0, {0, 70}, {U, 70}, "Data port");
    fixed("frame_7", "QFrame", "groupBox_2", 0, {92, 46}, "");
    add("data_default_input_radioButton", "QRadioButton", "frame_7", 0, none, unl, "INPUT");
    fixed("data_default_output_radioButton", "QRadioButton", "frame_7", 1, {80, 22}, "OUTPUT");
    add("frame_6", "QFrame", "groupBox_2", 1, none, unl);
    run("default_D", "D", "QCheckBox", "frame_6", 7, 0, box);
    add("groupBox_3", "QGroupBox", "tab_6", 1, {0, 70}, {U, 70}, "Control port");
    fixed("frame_9", "QFrame", "groupBox_3", 0, {92, 46}, "");
    add("control_default_input_radioButton", "QRadioButton", "frame_9", 0, none, unl, "INPUT");
    fixed("control_default_output_radioButton", "QRadioButton", "frame_9", 1, {80, 22}, "OUTPUT");
    add("frame_8", "QFrame", "groupBox_3", 1, none, unl);
    run("default_C", "C", "QCheckBox", "frame_8", 3, 0, box);
    add("groupBox_6", "QGroupBox", "tab_6", 2, {0, 50}, {U, 50}, "Status port");
    fixed("frame_10", "QFrame", "groupBox_6", 0, {92, 46}, "");
    add("frame_11", "QFrame", "groupBox_6", 1, none, unl);
    add("default_S7", "QCheckBox", "frame_11", 0, none, unl, "S7");
    run("default_S", "S", "QCheckBox", "frame_11", 6, 3, box);
    add("frame_5", "QFrame", "tab_6", 3, {0, 30}, {U, 30});
    fixed("Defaults_set", "QPushButton", "frame_5", 1, {100, 22}, "Set defaults");
    fixed("Defaults_read", "QPushButton", "frame_5", 2, {100, 22}, "Read defaults");
    add("tab_7", "QWidget", "tabWidget", 4, none, unl);
    add("groupBox_7", "QGroupBox", "tab_7", 0, none, unl, "Device firmware upgrade");
    add("OpenFirmware", "QPushButton", "groupBox_7", 0, {150, 0}, {150, U}, "Open firmware file");
    add("UploadFirmware", "QPushButton", "groupBox_7", 1, {150, 0}, {150, U}, "Upload to device");
    add("groupBox", "QGroupBox", "centralwidget", 1, {0, 200}, {U, 200}, "CONSOLE");
    add("console", "QPlainTextEdit", "groupBox", 0, none, unl);
    add("label", "QLabel", "centralwidget", 2, {0, 20}, {U, 20}, footerText);
    return t;
}

// Every layout is the top-level layout of its owner widget. -1: the style's default.
const struct LayoutRow {
    const char *name, *owner, *cls;
    int spacing, margins, items;
} layoutRows[] = {
    {"verticalLayout_11", "centralwidget", "QVBoxLayout", -1, -1, 3},
    {"verticalLayout_6", "tab_3", "QVBoxLayout", -1, -1, 2},
    {"horizontalLayout_2", "groupBox_KALDORIUM_LPT", "QHBoxLayout", 10, 10, 4},
    {"verticalLayout_12", "tab_4", "QVBoxLayout", -1, -1, 1},
    {"verticalLayout_2", "groupBox_TEST", "QVBoxLayout", -1, 0, 3},
    {"horizontalLayout_3", "frame", "QHBoxLayout", 0, 0, 15},
    {"horizontalLayout_4", "frame_2", "QHBoxLayout", 0, 0, 14},
    {"horizontalLayout_5", "frame_3", "QHBoxLayout", 10, 10, 3},
    {"verticalLayout_3", "groupBox_4", "QVBoxLayout", 6, 6, 2},
    {"verticalLayout_4", "groupBox_5", "QVBoxLayout", 6, 6, 2},
    {"verticalLayout_5", "frame_4", "QVBoxLayout", 6, 6, 2},
    {"verticalLayout_13", "tab_5", "QVBoxLayout", -1, -1, 2},
    {"horizontalLayout", "groupBox_ADDRESS", "QHBoxLayout", 0, 0, 2},
    {"verticalLayout", "tab_6", "QVBoxLayout", -1, -1, 4},
    {"horizontalLayout_8", "groupBox_2", "QHBoxLayout", 0, 0, 2},
    {"verticalLayout_7", "frame_7", "QVBoxLayout", 0, 0, 2},
    {"horizontalLayout_7", "frame_6", "QHBoxLayout", 0, 0, 9},
    {"horizontalLayout_10", "groupBox_3", "QHBoxLayout", 0, 0, 2},
    {"verticalLayout_8", "frame_9", "QVBoxLayout", 0, 0, 2},
    {"horizontalLayout_9", "frame_8", "QHBoxLayout", 0, 0, 5},
    {"horizontalLayout_12", "groupBox_6", "QHBoxLayout", 0, 0, 2},
    {"verticalLayout_9", "frame_10", "QVBoxLayout", 0, 0, 0},
    {"horizontalLayout_11", "frame_11", "QHBoxLayout", 0, 0, 6},
    {"horizontalLayout_6", "frame_5", "QHBoxLayout", 10, 0, 4},
    {"verticalLayout_14", "tab_7", "QVBoxLayout", -1, -1, 2},
    {"horizontalLayout_13", "groupBox_7", "QHBoxLayout", -1, -1, 2},
    {"verticalLayout_10", "groupBox", "QVBoxLayout", -1, -1, 1},
};

QString textOf(const QWidget *w)
{
    if (auto b = qobject_cast<const QAbstractButton *>(w))
        return b->text();
    if (auto g = qobject_cast<const QGroupBox *>(w))
        return g->title();
    if (auto l = qobject_cast<const QLabel *>(w))
        return l->text();
    return QString();
}

int xIn(const QWidget *w, const QWidget *ref)
{
    return w->mapTo(ref, QPoint(0, 0)).x();
}

bool showPage(Form &f, QWidget *page)
{
    f.window.show();
    if (!QTest::qWaitForWindowExposed(&f.window))
        return false;
    f.ui.tabWidget->setCurrentWidget(page);
    QCoreApplication::processEvents();
    return page->isVisible();
}

} // namespace

class TestForm : public QObject {
    Q_OBJECT
private slots:
    void windowAndTabs()
    {
        Form f;
        QCOMPARE(f.window.objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(f.window.windowTitle(), QStringLiteral("MainWindow"));
        QCOMPARE(f.window.size(), QSize(620, 600));
        QCOMPARE(f.window.minimumSize(), QSize(620, 600));
        QCOMPARE(f.window.maximumSize(), QSize(620, 600));
        QCOMPARE(f.window.centralWidget(), f.ui.centralwidget);
        QCOMPARE(f.window.menuBar(), f.ui.menubar);
        QCOMPARE(f.ui.menubar->geometry(), QRect(0, 0, 620, 21));
        QVERIFY(f.ui.menubar->actions().isEmpty());
        QCOMPARE(f.window.statusBar(), f.ui.statusbar);
        QVERIFY(f.ui.statusbar->currentMessage().isEmpty());
        f.window.show();
        f.window.resize(800, 700);
        QCOMPARE(f.window.size(), QSize(620, 600));

        const QWidget *pages[] = {f.ui.tab_3, f.ui.tab_4, f.ui.tab_5, f.ui.tab_6, f.ui.tab_7};
        const QStringList titles = {"DEVICE", "TEST", "ADDRESS", "DEFAULTS", "UPGRADE"};
        QCOMPARE(f.ui.tabWidget->count(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(f.ui.tabWidget->widget(i), pages[i]);
            QCOMPARE(f.ui.tabWidget->tabText(i), titles.at(i));
        }
        QCOMPARE(f.ui.tabWidget->currentIndex(), 0);
    }

    void widgetTree_data()
    {
        QTest::addColumn<int>("row");
        const QVector<Node> tree = formTree();
        for (int i = 0; i < tree.size(); ++i)
            QTest::newRow(qPrintable(tree.at(i).name)) << i;
    }

    void widgetTree()
    {
        QFETCH(int, row);
        const Node n = formTree().at(row);
        Form f;
        const QList<QWidget *> found = f.window.findChildren<QWidget *>(n.name);
        QCOMPARE(found.size(), 1);
        QWidget *w = found.first();
        QCOMPARE(QString::fromLatin1(w->metaObject()->className()), n.cls);
        if (n.parent == QLatin1String("tabWidget")) {
            QCOMPARE(f.ui.tabWidget->indexOf(w), n.index);
        } else {
            QCOMPARE(w->parentWidget()->objectName(), n.parent);
            if (n.index >= 0) {
                QVERIFY(w->parentWidget()->layout());
                QCOMPARE(w->parentWidget()->layout()->indexOf(w), n.index);
            }
        }
        QCOMPARE(w->minimumSize(), n.min);
        QCOMPARE(w->maximumSize(), n.max);
        QCOMPARE(textOf(w), n.text);
    }

    // No widget beyond the tree, and creation order (seen in the focus chain) is the tree order.
    void treeIsCompleteAndOrdered()
    {
        Form f;
        QStringList expected;
        for (const Node &n : formTree())
            expected << n.name;
        const QStringList formClasses = {
            "QWidget", "QTabWidget",   "QGroupBox", "QPushButton",    "QComboBox",
            "QFrame",  "QRadioButton", "QCheckBox", "QPlainTextEdit", "QLabel"};
        QStringList named;
        for (QWidget *w = f.window.nextInFocusChain(); w != &f.window; w = w->nextInFocusChain()) {
            const QString cls = QString::fromLatin1(w->metaObject()->className());
            if (!w->objectName().isEmpty() && !w->objectName().startsWith("qt_") &&
                formClasses.contains(cls))
                named << w->objectName();
        }
        QCOMPARE(named, expected);
    }

    void layouts_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(layoutRows)); ++i)
            QTest::newRow(layoutRows[i].name) << i;
    }

    void layouts()
    {
        QFETCH(int, row);
        const LayoutRow &r = layoutRows[row];
        Form f;
        auto *w = f.window.findChild<QWidget *>(QLatin1String(r.owner));
        QVERIFY(w && w->layout());
        QLayout *l = w->layout();
        const bool horizontal = qstrcmp(r.cls, "QHBoxLayout") == 0;
        const int spacing = r.spacing, margins = r.margins;
        QCOMPARE(l->objectName(), QLatin1String(r.name));
        QCOMPARE(l->metaObject()->className(), r.cls);
        QCOMPARE(l->count(), r.items);
        const QStyle *s = w->style();
        QCOMPARE(l->spacing(), spacing >= 0
                                   ? spacing
                                   : s->pixelMetric(horizontal ? QStyle::PM_LayoutHorizontalSpacing
                                                               : QStyle::PM_LayoutVerticalSpacing,
                                                    nullptr, w));
        const QMargins m =
            margins >= 0 ? QMargins(margins, margins, margins, margins)
                         : QMargins(s->pixelMetric(QStyle::PM_LayoutLeftMargin, nullptr, w),
                                    s->pixelMetric(QStyle::PM_LayoutTopMargin, nullptr, w),
                                    s->pixelMetric(QStyle::PM_LayoutRightMargin, nullptr, w),
                                    s->pixelMetric(QStyle::PM_LayoutBottomMargin, nullptr, w));
        QCOMPARE(l->contentsMargins(), m);
    }

    void spacers()
    {
        Form f;
        const struct {
            QSpacerItem *item;
            QWidget *owner;
            int index;
            QSize hint;
        } rows[] = {
            {f.ui.verticalSpacer, f.ui.tab_3, 1, {20, 40}},
            {f.ui.horizontalSpacer_3, f.ui.frame, 0, {40, 20}},
            {f.ui.horizontalSpacer_4, f.ui.frame, 14, {40, 20}},
            {f.ui.horizontalSpacer_2, f.ui.frame_2, 0, {40, 20}},
            {f.ui.horizontalSpacer, f.ui.frame_2, 13, {40, 20}},
            {f.ui.verticalSpacer_2, f.ui.tab_5, 1, {20, 40}},
            {f.ui.horizontalSpacer_9, f.ui.frame_6, 0, {40, 20}},
            {f.ui.horizontalSpacer_7, f.ui.frame_8, 0, {40, 20}},
            {f.ui.horizontalSpacer_8, f.ui.frame_11, 5, {40, 20}},
            {f.ui.horizontalSpacer_5, f.ui.frame_5, 0, {164, 20}},
            {f.ui.horizontalSpacer_6, f.ui.frame_5, 3, {164, 20}},
            {f.ui.verticalSpacer_3, f.ui.tab_7, 1, {20, 176}},
        };
        int total = 0;
        for (QLayout *l : f.window.findChildren<QLayout *>(QRegularExpression("Layout")))
            for (int i = 0; i < l->count(); ++i)
                total += l->itemAt(i)->spacerItem() ? 1 : 0;
        QCOMPARE(total, int(std::size(rows)));
        for (const auto &r : rows) {
            QCOMPARE(r.owner->layout()->itemAt(r.index), static_cast<QLayoutItem *>(r.item));
            QCOMPARE(r.item->sizeHint(), r.hint);
            const bool horizontal = qobject_cast<QHBoxLayout *>(r.owner->layout());
            QCOMPARE(r.item->sizePolicy().horizontalPolicy(),
                     horizontal ? QSizePolicy::Expanding : QSizePolicy::Minimum);
            QCOMPARE(r.item->sizePolicy().verticalPolicy(),
                     horizontal ? QSizePolicy::Minimum : QSizePolicy::Expanding);
        }
    }

    void frames()
    {
        Form f;
        int count = 0;
        for (QFrame *fr : f.window.findChildren<QFrame *>(QRegularExpression("^frame(_\\d+)?$"))) {
            ++count;
            QCOMPARE(fr->frameShape(), fr == f.ui.frame_3 ? QFrame::StyledPanel : QFrame::NoFrame);
            QCOMPARE(fr->frameShadow(), QFrame::Raised);
        }
        QCOMPARE(count, 11);
    }

    void pinButtons()
    {
        Form f;
        auto pin = [&](int n) {
            return f.window.findChild<QPushButton *>(QStringLiteral("pushButton_%1").arg(n));
        };
        for (int n = 1; n <= 25; ++n)
            QVERIFY(!pin(n)->isCheckable() && !pin(n)->isDown()); // names, texts: widgetTree
        QVERIFY(showPage(f, f.ui.tab_4));
        const QWidget *ref = f.ui.groupBox_TEST;
        for (int n = 2; n <= 25; ++n) { // each row touching, pin numbers descending to the right
            if (n != 14)
                QCOMPARE(xIn(pin(n - 1), ref), xIn(pin(n), ref) + 24);
            QCOMPARE(pin(n)->size(), QSize(24, 24));
        }
        // the 12-pin row sits half a button in from each end of the 13-pin row
        QCOMPARE(xIn(f.ui.pushButton_25, ref), xIn(f.ui.pushButton_13, ref) + 12);
        QCOMPARE(xIn(f.ui.pushButton_14, ref), xIn(f.ui.pushButton_1, ref) - 12);
    }

    void radioPairsAreExclusivePerParent()
    {
        Form f;
        QRadioButton *pairs[4][2] = {
            {f.ui.radioButton, f.ui.radioButton_2},
            {f.ui.radioButton_3, f.ui.radioButton_4},
            {f.ui.data_default_input_radioButton, f.ui.data_default_output_radioButton},
            {f.ui.control_default_input_radioButton, f.ui.control_default_output_radioButton}};
        for (auto &p : pairs) {
            QVERIFY(p[0]->isChecked());
            QVERIFY(!p[1]->isChecked());
            QVERIFY(p[0]->autoExclusive() && p[1]->autoExclusive());
            QCOMPARE(p[0]->parentWidget(), p[1]->parentWidget());
            QCOMPARE(p[0]->parentWidget()->findChildren<QRadioButton *>().size(), 2);
        }
        for (int i = 0; i < 4; ++i) {
            pairs[i][1]->setChecked(true);
            for (int j = 0; j < 4; ++j) {
                QCOMPARE(pairs[j][0]->isChecked(), j > i);
                QCOMPARE(pairs[j][1]->isChecked(), j <= i);
            }
        }
        const QList<QCheckBox *> boxes = f.ui.tab_6->findChildren<QCheckBox *>();
        QCOMPARE(boxes.size(), 17);
        for (QCheckBox *c : boxes)
            QVERIFY(c->checkState() == Qt::Unchecked && !c->isTristate());
    }

    void initialEnabledAndFocus()
    {
        Form f;
        const QList<QWidget *> off = {f.ui.Close_pushButton, f.ui.Run_pushButton,
                                      f.ui.Sto_pushButton,   f.ui.set_pushButton,
                                      f.ui.OpenFirmware,     f.ui.UploadFirmware};
        for (QWidget *w : f.window.findChildren<QWidget *>()) {
            if (qobject_cast<QTabBar *>(w->parentWidget()))
                continue; // the toolkit's own scroll arrows
            QVERIFY2(w->testAttribute(Qt::WA_Disabled) == off.contains(w),
                     qPrintable(w->objectName()));
        }
        for (QWidget *w : QWidgetList{f.ui.tabWidget, f.ui.groupBox_TEST, f.ui.frame, f.ui.frame_2,
                                      f.ui.groupBox_ADDRESS, f.ui.address_comboBox})
            QVERIFY(w->isEnabled());
        QCOMPARE(f.ui.OpenFirmware->focusPolicy(), Qt::NoFocus);
        QCOMPARE(f.ui.UploadFirmware->focusPolicy(), QPushButton().focusPolicy());
    }

    void comboBoxes()
    {
        Form f;
        QComboBox *a = f.ui.address_comboBox;
        QVERIFY(!a->isEditable());
        QCOMPARE(a->count(), 2);
        QCOMPARE(a->itemText(0), QStringLiteral("0xC100"));
        QCOMPARE(a->itemText(1), QStringLiteral("0xC200"));
        QCOMPARE(a->currentIndex(), 0);
        QCOMPARE(a->currentText(), QStringLiteral("0xC100"));
        a->setCurrentIndex(1);
        QCOMPARE(a->currentText(), QStringLiteral("0xC200"));
        QCOMPARE(f.ui.port_list_comboBox->count(), 0);
    }

    // frame_10 is an empty 92 x 46 block, so the status boxes start where the data and control
    // boxes' frames start.
    void statusRowLinesUp()
    {
        Form f;
        QCOMPARE(f.ui.verticalLayout_9->count(), 0);
        QVERIFY(f.ui.frame_10->findChildren<QWidget *>().isEmpty());
        QVERIFY(showPage(f, f.ui.tab_6));
        const QWidget *ref = f.ui.tab_6;
        QCOMPARE(f.ui.frame_10->size(), QSize(92, 46));
        QCOMPARE(xIn(f.ui.frame_6, ref), xIn(f.ui.frame_7, ref) + 92);
        QCOMPARE(xIn(f.ui.frame_8, ref), xIn(f.ui.frame_6, ref));
        QCOMPARE(xIn(f.ui.default_S7, ref), xIn(f.ui.frame_6, ref));
        // data and control boxes sit at the right end of their rows, status boxes at the left
        QCOMPARE(xIn(f.ui.default_D0, ref) + 40, xIn(f.ui.frame_6, ref) + f.ui.frame_6->width());
        QCOMPARE(xIn(f.ui.default_C0, ref) + 40, xIn(f.ui.frame_8, ref) + f.ui.frame_8->width());
        QCOMPARE(xIn(f.ui.default_S6, ref), xIn(f.ui.default_S7, ref) + f.ui.default_S7->width());
    }

    void noLookFromTheForm()
    {
        Form f;
        QList<QWidget *> all = f.window.findChildren<QWidget *>();
        all << &f.window;
        for (QWidget *w : all) {
            QVERIFY2(w->styleSheet().isEmpty(), qPrintable(w->objectName()));
            QVERIFY2(!w->testAttribute(Qt::WA_SetFont), qPrintable(w->objectName()));
        }
        QCOMPARE(f.ui.label->alignment(), QLabel().alignment());
        QVERIFY(f.ui.console->toPlainText().isEmpty() && !f.ui.console->isReadOnly());
    }
};

QTEST_MAIN(TestForm)
#include "tst_form.moc"
