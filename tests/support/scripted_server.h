#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QRegularExpression>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <chrono>

class QTcpSocket;

namespace tramelo::test {

// A fake SMTP or POP3 server on 127.0.0.1 (port chosen by the system) that
// plays a script and fails on anything the client sends that the script does
// not expect. It is driven by Qt signals only, so it runs in the test's own
// thread while the client under test pumps the event loop.
//
// Script lines (leading blanks are ignored, and so are empty lines and lines
// starting with "#"):
//   S: text    the server sends text + CR LF
//   W: text    the server sends text without CR LF, so that one reply can be
//              split over several writes; "\r", "\n" and "\\" are escapes
//   C: text    the client must send exactly this line (compared without CR LF)
//   C^ text    the client's line must start with text
//   C~ regex   the client's line must match the whole regular expression
//   D:         the client sends message data up to the line "."; the bytes
//              are captured as sent, dot-stuffing included (capturedData())
//   P: ms      the server waits that many milliseconds
//   H: ms      the server reads nothing for that many milliseconds (a script
//              with H: listens with a small receive buffer, so that what the
//              client sends meanwhile soon fills it)
//   X:         the server closes the connection
//   A:         the server takes the client's next connection (the script
//              starts with an implicit one)
// Text travels as Latin-1. Every client line must end in CR LF. Consecutive
// S: and W: lines leave in one write; a P: between them splits them.
//
// Turns are strict: a client line that had already reached the server when
// the server wrote its previous reply fails the script (the client did not
// wait for the reply). A failure closes the connection and stops listening,
// so the client under test fails fast instead of waiting for its time-outs.
//
// The transcript marks client lines "-->", server writes "<--", events "=="
// and the failure "!!".
class ScriptedSmtpServer : public QObject
{
    Q_OBJECT

public:
    explicit ScriptedSmtpServer(QObject *parent = nullptr);
    ~ScriptedSmtpServer() override;

    // Appends the lines of a script, before the client connects; a malformed
    // line fails the script.
    void addScript(const QString &script);
    // Starts listening on 127.0.0.1 (or ::1); false (with failure()) when it cannot.
    bool listen(const QHostAddress &address = QHostAddress(QHostAddress::LocalHost));
    QString host() const { return m_server.serverAddress().toString(); }
    quint16 port() const { return m_server.serverPort(); }

    // Every step played, nothing failed, no connection left unexpected.
    bool finished() const;
    // Pumps the event loop until the script is finished or has failed; a
    // finished script then listens a little longer (100 ms at most, until
    // the client closes) for a client that goes on talking.
    bool waitForFinished(std::chrono::milliseconds timeout);
    // Empty when finished(); otherwise why not, with the transcript and the
    // steps not played, ready to be printed by a failing test.
    QString verify() const;
    QString failure() const { return m_failure; }
    QString transcript() const { return m_transcript.join(QLatin1Char('\n')); }
    // The data of each D: step, in order.
    QList<QByteArray> capturedData() const { return m_captured; }
    int connectionCount() const { return m_connectionCount; }

Q_SIGNALS:
    void scriptFinished();
    void scriptFailed(const QString &reason);

private:
    enum class StepKind { Accept, Send, Write, Expect, ExpectPrefix, ExpectMatch, CaptureData, Pause, Hold, Close };
    struct Step
    {
        StepKind kind;
        QByteArray text;
        QRegularExpression pattern;
        int pauseMs = 0;
        QString source;
    };
    enum class StepResult { Done, Waiting };

    bool parseLine(const QString &line, Step &step, QString &error) const;
    void onNewConnection();
    void onReadyRead();
    void onDisconnected();
    void onPauseElapsed();
    void advance();
    StepResult play(const Step &step);
    StepResult playAccept();
    StepResult playWrite(const Step &step, const QByteArray &bytes);
    StepResult playExpect(const Step &step);
    StepResult playCaptureData();
    StepResult playPause(const Step &step);
    StepResult playClose();
    // The next complete client line; early when the client sent it before
    // the server's latest write.
    bool takeLine(QByteArray &line, bool &early);
    bool checkNothingUnexpected();
    void readPending();
    void dropConnection();
    void fail(const QString &reason);
    void note(const QString &line) { m_transcript.append(line); }

    QTcpServer m_server;
    QTcpSocket *m_socket = nullptr;
    QList<Step> m_steps;
    qsizetype m_next = 0;
    QByteArray m_buffer;
    qsizetype m_readPos = 0;
    // Bytes at the front of the unread buffer that the client sent before
    // the server's latest write.
    qsizetype m_earlyBytes = 0;
    QString m_lastWrite;
    bool m_clientClosed = false;
    QByteArray m_capture;
    int m_captureLines = 0;
    QList<QByteArray> m_captured;
    QTimer m_pauseTimer;
    bool m_pauseElapsed = false;
    bool m_holding = false;
    bool m_advancing = false;
    bool m_advanceAgain = false;
    bool m_finishedSignalled = false;
    int m_connectionCount = 0;
    QString m_failure;
    QStringList m_transcript;
};

} // namespace tramelo::test
