#include "terminal_view.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace tramelo {
namespace {

void writeLine(std::FILE *stream, const QString &text)
{
    // One write: standard error is not buffered, and this runs once a group.
    std::fputs((text + u'\n').toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

QString bar(const RunCounts &counts, int width)
{
    const int filled = counts.total > 0 ? int(width * counts.processed / counts.total) : width;
    return QString(filled, u'#') + QString(width - filled, u'.');
}

} // namespace

TerminalView::TerminalView(bool interactive)
    : m_interactive(interactive)
{
}

void TerminalView::showMessage(const QString &text, MessageIcon icon)
{
    clearBar();
    // A warning goes with the errors, but the run goes on.
    const bool error = icon == MessageIcon::Error || icon == MessageIcon::Critical;
    m_errorCount += error ? 1 : 0;
    writeLine(error || icon == MessageIcon::Warning ? stderr : stdout, text);
}

void TerminalView::showWarning(const QString &text)
{
    clearBar();
    writeLine(stderr, text);
}

bool TerminalView::askYesNo(const QString &, bool)
{
    // The runner decides before it starts; nothing asks it anything.
    return false;
}

void TerminalView::processEvents()
{
    QCoreApplication::processEvents();
}

void TerminalView::waitForEvents()
{
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TerminalView::showRunProgress()
{
    m_clock.start();
}

void TerminalView::showProgress(const RunCounts &counts)
{
    const double seconds = m_clock.isValid() ? m_clock.elapsed() / 1000.0 : 0.0;
    const double rate = seconds > 0 ? counts.sent / seconds : 0.0;
    const QString figures = countsText(counts);
    if (!m_interactive) {
        writeLine(stderr, figures);
        return;
    }
    const QString line = QStringLiteral("\r[%1] %2  %3 enviats/s").arg(bar(counts, 30), figures).arg(rate, 0, 'f', 1);
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    m_barShown = true;
}

void TerminalView::showRowFailure(const RowOutcome &row)
{
    clearBar();
    writeLine(stderr, QStringLiteral("No enviat: fila %1, %2, %3").arg(row.row).arg(row.address, failureReason(row)));
}

void TerminalView::endProgress()
{
    if (!m_barShown)
        return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
    m_barShown = false;
}

void TerminalView::clearBar()
{
    if (!m_barShown)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_barShown = false;
}

} // namespace tramelo
