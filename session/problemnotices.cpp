#include "session/problemnotices.h"

#include <QMessageBox>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QWidget>

#include <algorithm>

namespace {

constexpr int balloonMs = 10000;

// Under the "Parlink" title the warnings' own "Parlink: " says nothing new, and a balloon breaks lines at a hyphen,
// which would cut a file name in two: in file names the hyphen is one that does not break.
QString forTheDesktop(const QString& warning)
{
    const QLatin1String name("Parlink: ");
    const QString text = warning.startsWith(name) ? warning.mid(name.size()) : warning;
    QStringList words = text.split(QLatin1Char(' '));
    // A sentence starts with a capital, but a settings key such as hangup_command keeps its spelling.
    if (!words.first().isEmpty() && !words.first().contains(QLatin1Char('_')))
        words.first()[0] = words.first()[0].toUpper();
    static const QRegularExpression fileName(QStringLiteral("[/\\\\]|\\w\\.\\w"));
    for (QString& word : words) {
        if (!word.contains(fileName))
            continue;
        // The file name itself stays whole; the folders before it may still wrap at their hyphens.
        const int nameStart =
            int(std::max(word.lastIndexOf(QLatin1Char('/')), word.lastIndexOf(QLatin1Char('\\')))) + 1;
        word.replace(nameStart, word.size() - nameStart, word.mid(nameStart).replace(QLatin1Char('-'), QChar(0x2011)));
    }
    return words.join(QLatin1Char(' '));
}

} // namespace

ProblemNotices::ProblemNotices(QWidget* window) : QObject(window), window(window) {}

bool ProblemNotices::setProblem(Problem problem, bool present, const QString& text)
{
    const bool news = present && (!active[problem] || texts[problem] != text);
    active[problem] = present;
    texts[problem] = text;
    if (news && tray)
        show(problem);
    return news;
}

void ProblemNotices::occurred(Problem problem, const QString& text)
{
    active[problem] = true;
    texts[problem] = text;
    if (tray)
        show(problem);
}

void ProblemNotices::showOn(QSystemTrayIcon* trayIcon)
{
    tray = trayIcon;
    // A message clicked away is gone: the next one carries only what comes after it.
    connect(tray, &QSystemTrayIcon::messageClicked, this, [this] { balloonShown.invalidate(); });
    for (int problem = 0; problem < problemCount; ++problem) {
        if (active[problem])
            show(Problem(problem));
    }
}

QString ProblemNotices::text(Problem problem) const
{
    return active[problem] ? texts[problem] : QString();
}

void ProblemNotices::showBeforeTheEnd(Problem problem, const QString& consequence)
{
    delete boxes[problem];
    QMessageBox box(QMessageBox::Warning, tr("Parlink"),
                    forTheDesktop(texts[problem]) + QStringLiteral("\n\n") + consequence, QMessageBox::Ok, window);
    box.exec();
}

void ProblemNotices::show(Problem problem)
{
    const QString text = forTheDesktop(texts[problem]);
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        // A tray shows one message at a time: one that comes while the last is up carries the last one's text too,
        // each problem once.
        if (!balloonShown.isValid() || balloonShown.hasExpired(balloonMs))
            balloon.clear();
        auto shown = std::find_if(balloon.begin(), balloon.end(),
                                  [problem](const auto& entry) { return entry.first == problem; });
        int showMs = balloonMs;
        if (shown == balloon.end()) {
            balloon.append({problem, text});
            balloonShown.start();
        } else if (shown->second == text) {
            return;
        } else {
            shown->second = text;
            showMs = qMax(balloonMs - int(balloonShown.elapsed()), 1000); // 0 would keep it up for good
        }
        QStringList lines;
        for (const auto& entry : balloon)
            lines.append(entry.second);
        tray->showMessage(tr("Parlink"), lines.join(QStringLiteral("\n\n")), QSystemTrayIcon::Warning, showMs);
        return;
    }
    // One box per problem: while it is open it shows the problem's latest text. One closed a moment ago may not
    // have been deleted yet.
    if (boxes[problem] && boxes[problem]->isVisible()) {
        boxes[problem]->setText(text);
        return;
    }
    // Not modal: the switch, the LEDs and the window go on working while the message waits to be read.
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Parlink"), text, QMessageBox::Ok, window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    boxes[problem] = box;
}
