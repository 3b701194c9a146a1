// What a run decides by rule alone: the operator's words for the mail
// component's texts, which failures stop a run.
#include "gtest_qt_printers.h"
#include "mail_texts.h"
#include "pending_errors.h"
#include "run_driver.h"

#include <gtest/gtest.h>

using namespace tramelo;

TEST(MailTexts, TheComponentsWordsAreShownInCatalanAndTheServersAsWritten)
{
    const std::pair<QString, QString> rows[] = {
        {error_text::unexpectedReply + QStringLiteral("250 Ok"), QStringLiteral("Resposta inesperada del servidor SMTP: 250 Ok")},
        {QStringLiteral("The certificate of the SMTP Host h is not trusted: it was issued for no name, not for h; it "
                        "expired on D. Certificate subject: x; issuer: y; valid from A to B; SHA-256 fingerprint: AB"),
         QStringLiteral("El certificat del servidor SMTP h no és de confiança: es va emetre per a cap nom, no per a h; va "
                        "caducar el D. Titular del certificat: x; emissor: y; vàlid del A al B; empremta SHA-256: AB")},
        {QStringLiteral("The TLS handshake with the SMTP Host failed (on this port the server may expect STARTTLS, or no "
                        "TLS at all): Connection refused"),
         QStringLiteral("La negociació TLS amb el servidor SMTP ha fallat (en aquest port potser el servidor espera "
                        "STARTTLS, o gens de TLS): Connexió rebutjada")},
        // A server's reply stays as written, each line on its own.
        {QStringLiteral("550 Host not found\r\n") + error_text::invalidSender + QStringLiteral("\r\n"),
         QStringLiteral("550 Host not found\r\nFalta l'adreça del remitent o no és vàlida\r\n")},
    };
    for (const auto &[english, catalan] : rows)
        EXPECT_EQ(inCatalan(english), catalan);
    for (const QString &text : {error_text::invalidBcc, error_text::invalidCc, error_text::invalidRecipient,
                                error_text::invalidSender, error_text::invalidPop3Host, error_text::invalidSmtpHost,
                                error_text::invalidPort, error_text::missingAttachment, error_text::socketNotOpen,
                                error_text::timeout, error_text::loginFailed, error_text::noLoginInsideTls,
                                error_text::noFinalReply, error_text::sendStopped})
        EXPECT_NE(inCatalan(text), text) << text;
}

TEST(CampaignRunStop, OnlyFailuresWithoutAClearAnswerCountTowardsTheStop)
{
    struct Row {
        SendStage stage;
        bool senderAccepted;
        std::optional<int> code;
        bool counts;
    };
    const Row rows[] = {
        {SendStage::Validation, false, {}, false}, {SendStage::Connection, false, {}, true},
        {SendStage::Login, false, 535, true},      {SendStage::Recipient, true, 550, false},
        {SendStage::Data, true, 421, true},        {SendStage::Timeout, true, {}, true}, // no answer to the final "."
    };
    for (const Row &row : rows) {
        SendOutcome outcome;
        outcome.stage = row.stage;
        outcome.senderAccepted = row.senderAccepted;
        outcome.replyCode = row.code;
        EXPECT_EQ(countsTowardsStop(outcome), row.counts) << int(row.stage);
    }
}
