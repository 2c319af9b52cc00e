// The user's ten choices, kept per user in the toolkit's native settings store.
#include "ui/mainwindow.h"

#include "ui_mainwindow.h"

#include <QSettings>

namespace {

void restoreChecked(const QSettings& settings, const QString& key, QAbstractButton* button, bool absent)
{
    button->setChecked(settings.contains(key) ? settings.value(key, QVariant()).toBool() : absent);
}

// An index the selector does not hold would leave it empty, sending key code 0 or console model -1, and would be
// written back for good; it reads as the first-run choice instead.
void restoreIndex(const QSettings& settings, const QString& key, QComboBox* selector, int absent)
{
    const int stored = settings.contains(key) ? settings.value(key, QVariant()).toInt() : absent;
    selector->setCurrentIndex(stored >= 0 && stored < selector->count() ? stored : absent);
}

} // namespace

void MainWindow::readSettings()
{
    const QSettings settings;
    restoreChecked(settings, QStringLiteral("keystroke_enabled"), ui->chk_connect, true);
    restoreIndex(settings, QStringLiteral("keystroke_key1"), ui->connect_1, 3);
    restoreIndex(settings, QStringLiteral("keystroke_key2"), ui->connect_2, 5);
    restoreIndex(settings, QStringLiteral("keystroke_key3"), ui->connect_3, 66);
    restoreChecked(settings, QStringLiteral("hangup_enabled"), ui->chk_hangup, true);
    restoreIndex(settings, QStringLiteral("hangup_key1"), ui->hangup_1, 3);
    restoreIndex(settings, QStringLiteral("hangup_key2"), ui->hangup_2, 55);
    restoreIndex(settings, QStringLiteral("hangup_key3"), ui->hangup_3, 0);
    restoreIndex(settings, QStringLiteral("console"), ui->comboBox_console, 0);
    const QString internalKey = QStringLiteral("connect_led_internal");
    if (!settings.contains(internalKey) || settings.value(internalKey, QVariant()).toBool())
        ui->radioButton_conn_led_internal->setChecked(true);
    else
        ui->radioButton_conn_led_remote->setChecked(true);
}

void MainWindow::writeSettings()
{
    QSettings settings;
    settings.setValue(QStringLiteral("keystroke_enabled"), ui->chk_connect->isChecked());
    settings.setValue(QStringLiteral("keystroke_key1"), ui->connect_1->currentIndex());
    settings.setValue(QStringLiteral("keystroke_key2"), ui->connect_2->currentIndex());
    settings.setValue(QStringLiteral("keystroke_key3"), ui->connect_3->currentIndex());
    settings.setValue(QStringLiteral("hangup_enabled"), ui->chk_hangup->isChecked());
    settings.setValue(QStringLiteral("hangup_key1"), ui->hangup_1->currentIndex());
    settings.setValue(QStringLiteral("hangup_key2"), ui->hangup_2->currentIndex());
    settings.setValue(QStringLiteral("hangup_key3"), ui->hangup_3->currentIndex());
    settings.setValue(QStringLiteral("console"), ui->comboBox_console->currentIndex());
    settings.setValue(QStringLiteral("connect_led_internal"), ui->radioButton_conn_led_internal->isChecked());
}
