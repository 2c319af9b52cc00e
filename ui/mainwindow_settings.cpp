// The user's ten choices, kept per user in the toolkit's native settings store.
#include "ui/mainwindow.h"

#include "session/problemnotices.h"
#include "ui_mainwindow.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryFile>

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

// Why the store could not be written, found by trying what writing it takes: its file, then a new file beside it.
QString storeFailure(const QSettings& settings)
{
    if (settings.status() == QSettings::FormatError)
        return QStringLiteral("the file is damaged (it cannot be read as settings)");
#ifdef Q_OS_WIN
    return QStringLiteral("the registry refused the change");
#else
    QFile file(settings.fileName());
    if (file.exists() && !file.open(QIODevice::Append | QIODevice::ExistingOnly))
        return QStringLiteral("the file cannot be written (%1)").arg(file.errorString());
    QTemporaryFile beside(QFileInfo(file).absolutePath() + QStringLiteral("/XXXXXX"));
    if (!beside.open())
        return QStringLiteral("its folder cannot be written (%1)").arg(beside.errorString());
    return QStringLiteral("it could not be written (the disk may be full)");
#endif
}

// The store's file as it is now: a change from elsewhere (a removed file, say) makes what was held unknown. The
// registry is not changed under a running program that way.
QString storeStamp(const QSettings& settings)
{
#ifdef Q_OS_WIN
    Q_UNUSED(settings)
    return QString();
#else
    const QFileInfo file(settings.fileName());
    return file.exists() ? QString::number(file.size()) + QLatin1Char(' ') +
                               QString::number(file.lastModified().toMSecsSinceEpoch())
                         : QString();
#endif
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
    // A later start reads what the window shows now, however the store spells it, and the first-run choice where a key
    // is missing or out of range.
    for (const auto& [key, value] : choices())
        held.insert(key, value.toString());
    heldStamp = storeStamp(settings);
}

QList<QPair<QString, QVariant>> MainWindow::choices() const
{
    return {{QStringLiteral("keystroke_enabled"), ui->chk_connect->isChecked()},
            {QStringLiteral("keystroke_key1"), ui->connect_1->currentIndex()},
            {QStringLiteral("keystroke_key2"), ui->connect_2->currentIndex()},
            {QStringLiteral("keystroke_key3"), ui->connect_3->currentIndex()},
            {QStringLiteral("hangup_enabled"), ui->chk_hangup->isChecked()},
            {QStringLiteral("hangup_key1"), ui->hangup_1->currentIndex()},
            {QStringLiteral("hangup_key2"), ui->hangup_2->currentIndex()},
            {QStringLiteral("hangup_key3"), ui->hangup_3->currentIndex()},
            {QStringLiteral("console"), ui->comboBox_console->currentIndex()},
            {QStringLiteral("connect_led_internal"), ui->radioButton_conn_led_internal->isChecked()}};
}

void MainWindow::writeSettings()
{
    QSettings settings;
    QHash<QString, QString> shown;
    for (const auto& [key, value] : choices()) {
        settings.setValue(key, value);
        shown.insert(key, value.toString());
    }
    settings.sync();
    const bool stored = settings.status() == QSettings::NoError;
    if (stored) {
        held = shown;
        heldStamp = storeStamp(settings);
    }
    // A store that cannot be written loses nothing while it holds what the window shows (one made read-only, say).
    const bool lost = !stored && (held != shown || heldStamp != storeStamp(settings));
    const QString warning = lost ? QStringLiteral("Parlink: cannot store the settings in %1: %2")
                                       .arg(settings.fileName(), storeFailure(settings))
                                 : QString();
    // Said once, like the other problems, until a store succeeds again.
    if (notices->setProblem(ProblemNotices::SettingsNotStored, lost, warning))
        qWarning("%s", qPrintable(warning));
}
