// Problems the user must act on, shown on the desktop too: nobody reads the stderr of a Parlink started by autostart.
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>

class QMessageBox;
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
        KeysUnavailable,
        SettingsNotStored,
        AnswerCommandFailed,
        HangupCommandFailed,
        CallStatesIgnored,
        problemCount
    };

    explicit ProblemNotices(QWidget* window);

    // A problem is shown when it starts, with the text of its warning, and again only after it went away or when its
    // text changed; while its notice is up, the same problem is not shown twice. True when it starts or its text
    // changed.
    bool setProblem(Problem problem, bool present, const QString& text);
    // A problem that comes with each try (a command that cannot run): shown at each, unless its notice is still up.
    void occurred(Problem problem, const QString& text);
    // Until there is a tray icon, problems wait; from now on they go to it, or to a message box without a tray.
    void showOn(QSystemTrayIcon* trayIcon);
    // The program is ending: from now on problems wait, as before there was a tray icon.
    void holdBack() { tray = nullptr; }
    // The warning of a problem present now; empty when it is not present.
    QString text(Problem problem) const;
    // What the program ends with: a tray message would go with the program, so a box that waits for the user.
    void showBeforeTheEnd(Problem problem, const QString& consequence);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show(Problem problem);
    // Shows the text in the box, its file names and commands whole.
    void say(QMessageBox& box, const QString& text);

    QWidget* window;
    QSystemTrayIcon* tray = nullptr; // none yet: problems wait for it
    bool active[problemCount] = {};
    QString texts[problemCount];
    // The problems in the tray's message now up, in the order they came, and since when it is up.
    QList<QPair<Problem, QString>> balloon;
    QElapsedTimer balloonShown;
    // Without a tray: each problem's box while it is open.
    QPointer<QMessageBox> boxes[problemCount];
};
