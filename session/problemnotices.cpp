#include "session/problemnotices.h"

#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {

constexpr int balloonMs = 10000;

} // namespace

ProblemNotices::ProblemNotices(QWidget* window) : QObject(window), window(window) {}

bool ProblemNotices::setProblem(Problem problem, bool present, const QString& text)
{
    const bool starts = present && !active[problem];
    active[problem] = present;
    texts[problem] = text;
    if (starts && tray)
        show(text);
    return starts;
}

void ProblemNotices::showOn(QSystemTrayIcon* trayIcon)
{
    tray = trayIcon;
    for (int problem = 0; problem < problemCount; ++problem) {
        if (active[problem])
            show(texts[problem]);
    }
}

void ProblemNotices::show(const QString& text)
{
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        // A tray shows one message at a time: one that comes while the last is up carries the last one's text too.
        if (!balloonShown.isValid() || balloonShown.hasExpired(balloonMs))
            balloonTexts.clear();
        balloonTexts.append(text);
        balloonShown.start();
        tray->showMessage(tr("Parlink"), balloonTexts.join(QStringLiteral("\n\n")), QSystemTrayIcon::Warning,
                          balloonMs);
        return;
    }
    // Not modal: the switch, the LEDs and the window go on working while the message waits to be read.
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Parlink"), text, QMessageBox::Ok, window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}
