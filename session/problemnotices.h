// Problems the user must act on, shown on the desktop too: nobody reads the stderr of a Parlink started by autostart.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

class QSystemTrayIcon;
class QWidget;

class ProblemNotices : public QObject
{
    Q_OBJECT
public:
    enum Problem
    {
        ConsoleRefused,
        StatusPortTaken,
        SettingsNotStored,
        problemCount
    };

    explicit ProblemNotices(QWidget* window);

    // A problem is shown when it starts, with the text of its warning, and again only after it went away.
    // True when it starts.
    bool setProblem(Problem problem, bool present, const QString& text);
    // Until there is a tray icon, problems wait; from now on they go to it, or to a message box without a tray.
    void showOn(QSystemTrayIcon* trayIcon);

private:
    void show(const QString& text);

    QWidget* window;
    QSystemTrayIcon* tray = nullptr; // none yet: problems wait for it
    bool active[problemCount] = {};
    QString texts[problemCount];
    // The tray's message now up, and since when.
    QStringList balloonTexts;
    QElapsedTimer balloonShown;
};
