#include "session/problemnotices.h"

#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace {

constexpr int balloonMs = 10000;
// A box breaks its lines at spaces only, after this many characters at most, or fewer where its font would make it
// wider than two thirds of the screen; its longest line sets its width.
constexpr int longestBoxLine = 64;
constexpr int shortestBoxLine = 20;
// The text a box says, as the user copies it.
const char* const boxText = "parlinkText";

// Under the "Parlink" title the warnings' own "Parlink: " says nothing new.
QString forTheDesktop(const QString& warning)
{
    const QLatin1String name("Parlink: ");
    QString text = warning.startsWith(name) ? warning.mid(name.size()) : warning;
    // A sentence starts with a capital, but a settings key such as hangup_command keeps its spelling.
    if (!text.isEmpty() && !text.section(QLatin1Char(' '), 0, 0).contains(QLatin1Char('_')))
        text[0] = text[0].toUpper();
    return text;
}

// The toolkit breaks a line at any hyphen or slash, also within a file name or a command, where a reader takes the
// break for one of its own; a no-wrap span keeps only its spaces from breaking. So a box breaks its lines itself, at
// spaces, and keeps them from breaking again: every word is shown whole, and as it is, for the user to copy. Only a
// word longer than a line may still break, so that none of it is cut off.
QString unbrokenWords(const QString& text, int lineLength)
{
    QString html;
    for (const QString& paragraph : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QStringList lines{QString()};
        for (const QString& word : paragraph.split(QLatin1Char(' '))) {
            if (!lines.last().isEmpty() && lines.last().size() + 1 + word.size() > lineLength)
                lines.append(QString());
            else if (!lines.last().isEmpty())
                lines.last() += QLatin1Char(' ');
            lines.last() += word;
        }
        // Paragraphs apart, the lines of one together.
        QString gap = html.isEmpty() ? QString() : QStringLiteral("margin-top:12px;");
        for (const QString& line : lines) {
            const QString wrap = line.size() > lineLength ? QString() : QStringLiteral("white-space:pre");
            html += QStringLiteral("<div style=\"%1%2\">%3</div>")
                        .arg(std::exchange(gap, QString()), wrap, line.toHtmlEscaped());
        }
    }
    return html;
}

int boxLineLength(QMessageBox& box)
{
    box.ensurePolished();
    const QScreen* screen = box.screen();
    const int room = screen ? screen->availableGeometry().width() * 2 / 3 : 0;
    const int perCharacter = std::max(1, QFontMetrics(box.font()).averageCharWidth());
    return std::clamp(room / perCharacter, shortestBoxLine, longestBoxLine);
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
    QMessageBox box(QMessageBox::Warning, tr("Parlink"), QString(), QMessageBox::Ok, window);
    say(box, forTheDesktop(texts[problem]) + QStringLiteral("\n\n") + consequence);
    box.exec();
}

void ProblemNotices::say(QMessageBox& box, const QString& text)
{
    box.setTextFormat(Qt::RichText);
    box.setText(unbrokenWords(text, boxLineLength(box)));
    box.setProperty(boxText, text);
    box.installEventFilter(this);
}

bool ProblemNotices::eventFilter(QObject* watched, QEvent* event)
{
    // Ctrl+C in a box copies what it says, on every platform, and never its markup, as the toolkit's own copy of a
    // whole box (on Windows) would.
    if (event->type() != QEvent::KeyPress || !static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy))
        return false;
    QGuiApplication::clipboard()->setText(watched->property(boxText).toString());
    return true;
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
        say(*boxes[problem], text);
        return;
    }
    // Not modal: the switch, the LEDs and the window go on working while the message waits to be read.
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Parlink"), QString(), QMessageBox::Ok, window);
    say(*box, text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    boxes[problem] = box;
}
