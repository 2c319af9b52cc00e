// The window's form as uic builds it, and the key table behind its six key selectors.
#include "control/keytable.h"
#include "testmain.h"
#include "ui_mainwindow.h"

#include <QSet>
#include <QStatusBar>
#include <QToolBar>

class TestForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void widgets_data();
    void widgets();
    void gridCells_data();
    void gridCells();
    void layoutsSpaceAndMargins();
    void sizeLimits();
    void initialState();
    void keepsAnExistingObjectName();
    void focusFollowsCreationOrder();
    void keyTable_data();
    void keyTable();
    void keyNamesAreDistinct();

private:
    QMainWindow* window = nullptr;
    Ui::MainWindow* form = nullptr;
};

void TestForm::init()
{
    window = new QMainWindow;
    form = new Ui::MainWindow;
    form->setupUi(window);
}

void TestForm::cleanup()
{
    delete form;
    delete window;
}

void TestForm::widgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QString>("text");

    QTest::addRow("centralWidget") << "centralWidget"
                                   << "QWidget"
                                   << "MainWindow"
                                   << "";
    QTest::addRow("groupBox_2") << "groupBox_2"
                                << "QGroupBox"
                                << "centralWidget"
                                << "Mixing Console";
    QTest::addRow("comboBox_console") << "comboBox_console"
                                      << "QComboBox"
                                      << "groupBox_2"
                                      << "Solvane";
    QTest::addRow("groupBox") << "groupBox"
                              << "QGroupBox"
                              << "centralWidget"
                              << "Connect Switch";
    QTest::addRow("chk_connect") << "chk_connect"
                                 << "QCheckBox"
                                 << "groupBox"
                                 << "Answer";
    QTest::addRow("chk_hangup") << "chk_hangup"
                                << "QCheckBox"
                                << "groupBox"
                                << "Hang up";
    for (const char* name : {"connect_1", "connect_2", "connect_3", "hangup_1", "hangup_2", "hangup_3"})
        QTest::addRow("%s", name) << name << "QComboBox"
                                  << "groupBox"
                                  << "";
    for (const char* name : {"label_35", "label_36", "label_37", "label_38"})
        QTest::addRow("%s", name) << name << "QLabel"
                                  << "groupBox"
                                  << "+";
    QTest::addRow("groupBox_3") << "groupBox_3"
                                << "QGroupBox"
                                << "centralWidget"
                                << "Connect LED";
    QTest::addRow("remote") << "radioButton_conn_led_remote"
                            << "QRadioButton"
                            << "groupBox_3"
                            << "Remote Controlled UDP  (Phoner app)";
    QTest::addRow("internal") << "radioButton_conn_led_internal"
                              << "QRadioButton"
                              << "groupBox_3"
                              << "Internal state";
    QTest::addRow("menuBar") << "menuBar"
                             << "QMenuBar"
                             << "MainWindow"
                             << "";
}

void TestForm::widgets()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QString, text);

    QWidget* widget = window->findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QCOMPARE(widget->parent()->objectName(), parentName);
    QString shown;
    if (auto* box = qobject_cast<QGroupBox*>(widget))
        shown = box->title();
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        shown = button->text();
    else if (auto* label = qobject_cast<QLabel*>(widget))
        shown = label->text();
    else if (auto* combo = qobject_cast<QComboBox*>(widget))
        shown = combo->currentText();
    QCOMPARE(shown, text);
}

void TestForm::gridCells_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("row");

    QTest::addRow("horizontalLayout") << "gridLayout_4"
                                      << "horizontalLayout" << 0;
    QTest::addRow("groupBox") << "gridLayout_4"
                              << "groupBox" << 1;
    QTest::addRow("groupBox_3") << "gridLayout_4"
                                << "groupBox_3" << 2;
    QTest::addRow("comboBox_console") << "gridLayout_2"
                                      << "comboBox_console" << 0;
    QTest::addRow("horizontalLayout_18") << "gridLayout"
                                         << "horizontalLayout_18" << 0;
    QTest::addRow("horizontalLayout_19") << "gridLayout"
                                         << "horizontalLayout_19" << 1;
    QTest::addRow("internal above") << "gridLayout_3"
                                    << "radioButton_conn_led_internal" << 0;
    QTest::addRow("remote below, row 1 empty") << "gridLayout_3"
                                               << "radioButton_conn_led_remote" << 2;
}

void TestForm::gridCells()
{
    QFETCH(QString, layout);
    QFETCH(QString, item);
    QFETCH(int, row);

    auto* grid = window->findChild<QGridLayout*>(layout);
    QVERIFY(grid);
    int index = -1;
    for (int i = 0; i < grid->count(); ++i) {
        QLayoutItem* candidate = grid->itemAt(i);
        QObject* object = candidate->widget() ? static_cast<QObject*>(candidate->widget()) : candidate->layout();
        if (object && object->objectName() == item)
            index = i;
    }
    QVERIFY(index >= 0);
    int r, c, rows, columns;
    grid->getItemPosition(index, &r, &c, &rows, &columns);
    QCOMPARE(QList<int>({r, c, rows, columns}), QList<int>({row, 0, 1, 1}));
}

void TestForm::layoutsSpaceAndMargins()
{
    for (const char* name : {"gridLayout_4", "gridLayout_2", "gridLayout", "gridLayout_3"}) {
        auto* layout = window->findChild<QLayout*>(QLatin1String(name));
        QCOMPARE(layout->spacing(), 6);
        QCOMPARE(layout->contentsMargins(), QMargins(11, 11, 11, 11));
    }
    const QStringList rowOrder{"chk_connect", "connect_1", "label_35", "connect_2", "label_36", "connect_3"};
    auto* row = window->findChild<QHBoxLayout*>(QStringLiteral("horizontalLayout_18"));
    QCOMPARE(row->spacing(), 6);
    QStringList names;
    for (int i = 0; i < row->count(); ++i)
        names.append(row->itemAt(i)->widget()->objectName());
    QCOMPARE(names, rowOrder);
}

void TestForm::sizeLimits()
{
    QCOMPARE(window->size(), QSize(444, 266));
    QCOMPARE(window->minimumSize(), QSize(444, 183));
    QCOMPARE(window->maximumSize(), QSize(444, 266));
    QCOMPARE(form->chk_connect->minimumSize(), QSize(130, 0));
    QCOMPARE(form->chk_hangup->minimumSize(), QSize(130, 0));
    for (QLabel* label : {form->label_35, form->label_36, form->label_37, form->label_38})
        QCOMPARE(label->maximumSize(), QSize(10, 16777215));
    QCOMPARE(form->menuBar->geometry(), QRect(0, 0, 444, 21));
    window->resize(600, 100);
    QCOMPARE(window->size(), QSize(444, 183));
}

void TestForm::initialState()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("MainWindow"));
    QStringList models;
    for (int i = 0; i < form->comboBox_console->count(); ++i)
        models.append(form->comboBox_console->itemText(i));
    QCOMPARE(models, QStringList({"Solvane", "Trennic", "Muvora", "Peltra", "Dorvex"}));
    QCOMPARE(form->comboBox_console->currentIndex(), 0);
    for (QComboBox* selector :
         {form->connect_1, form->connect_2, form->connect_3, form->hangup_1, form->hangup_2, form->hangup_3})
        QCOMPARE(selector->count(), 0);
    QVERIFY(!form->chk_connect->isChecked());
    QVERIFY(!form->chk_hangup->isChecked());
    QVERIFY(form->radioButton_conn_led_internal->isChecked());
    QVERIFY(!form->radioButton_conn_led_remote->isChecked());
    QVERIFY(form->menuBar->actions().isEmpty());
    QVERIFY(!window->findChild<QStatusBar*>());
    QVERIFY(!window->findChild<QToolBar*>());
}

void TestForm::keepsAnExistingObjectName()
{
    QMainWindow named;
    named.setObjectName(QStringLiteral("Named"));
    Ui::MainWindow other;
    other.setupUi(&named);
    QCOMPARE(named.objectName(), QStringLiteral("Named"));
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
}

void TestForm::focusFollowsCreationOrder()
{
    QStringList chain;
    QWidget* widget = window;
    for (int step = 0; step < 100; ++step) {
        widget = widget->nextInFocusChain();
        if (widget == window)
            break;
        if (widget->focusPolicy() & Qt::TabFocus)
            chain.append(widget->objectName());
    }
    QCOMPARE(chain, QStringList({"comboBox_console", "chk_connect", "connect_1", "connect_2", "connect_3", "chk_hangup",
                                 "hangup_1", "hangup_2", "hangup_3", "radioButton_conn_led_remote",
                                 "radioButton_conn_led_internal"}));
}

void TestForm::keyTable_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code");

    QTest::addRow("none") << 0 << "none" << 0x00;
    QTest::addRow("L_Ctrl") << 3 << "L_Ctrl" << 0xA2;
    QTest::addRow("L_Shift") << 5 << "L_Shift" << 0xA0;
    QTest::addRow("R_Win") << 10 << "R_Win" << 0x5C;
    QTest::addRow("Pause/Break") << 20 << "Pause/Break" << 0x13;
    QTest::addRow("Page Down") << 25 << "Page Down" << 0x22;
    QTest::addRow("F12") << 37 << "F12" << 0x7B;
    QTest::addRow("KEY_0") << 38 << "KEY_0" << 0x30;
    QTest::addRow("main-block minus") << 48 << "-" << 0xBD;
    QTest::addRow("main-block plus") << 49 << "+" << 0xBB;
    QTest::addRow("Backspace") << 50 << "Backspace" << 0x08;
    QTest::addRow("KEY_E") << 55 << "KEY_E" << 0x45;
    QTest::addRow("KEY_P") << 66 << "KEY_P" << 0x50;
    QTest::addRow("KEY_Z") << 76 << "KEY_Z" << 0x5A;
    QTest::addRow("Numpad 0") << 77 << "Numpad 0" << 0x60;
    QTest::addRow("keypad minus") << 89 << "Numpad -" << 0x6D;
    QTest::addRow("keypad plus") << 90 << "Numpad +" << 0x6B;
    QTest::addRow("last") << 91 << "Numpad ." << 0x6E;
    QTest::addRow("before the table") << -1 << "" << 0;
    QTest::addRow("after the table") << 92 << "" << 0;
}

void TestForm::keyTable()
{
    QFETCH(int, index);
    QFETCH(QString, name);
    QFETCH(int, code);
    QCOMPARE(KeyTable::name(index), name);
    QCOMPARE(int(KeyTable::code(index)), code);
}

void TestForm::keyNamesAreDistinct()
{
    QSet<QString> names;
    QSet<int> codes;
    for (int index = 0; index < KeyTable::count; ++index) {
        names.insert(KeyTable::name(index));
        codes.insert(KeyTable::code(index));
    }
    QCOMPARE(KeyTable::count, 92);
    QCOMPARE(names.size(), 92);
    QCOMPARE(codes.size(), 92);
}

PARLINK_TEST_MAIN(TestForm)
#include "tst_form.moc"
