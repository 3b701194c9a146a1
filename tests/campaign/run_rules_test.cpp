// What a run decides by rule alone: the operator's words for the mail
// component's texts, merging in one pass, which failures stop a run.
#include "gtest_qt_printers.h"
#include "mail_texts.h"
#include "merge_fields.h"
#include "pending_errors.h"
#include "record_snapshot.h"
#include "run_driver.h"

#include <gtest/gtest.h>

using namespace tramelo;

TEST(MailTexts, TheComponentsWordsAreShownInCatalanAndTheServersAsWritten)
{
    const QString certificate = QStringLiteral(
        "The certificate of the SMTP Host smtp.x.cat is not trusted: it was issued for no name, not for smtp.x.cat; "
        "it expired on 2020-01-01 00:00:00 UTC. Certificate subject: x; issuer: y; valid from 2019-01-01 00:00:00 UTC "
        "to 2020-01-01 00:00:00 UTC; SHA-256 fingerprint: AB:CD");
    const std::pair<QString, QString> rows[] = {
        {error_text::timeout, QStringLiteral("Temps esgotat: el servidor SMTP no ha respost")},
        {error_text::unexpectedReply + QStringLiteral("250 Ok"), QStringLiteral("Resposta inesperada del servidor SMTP: 250 Ok")},
        {QStringLiteral("Too many recipients"), QStringLiteral("Massa destinataris en un missatge: com a màxim n'hi pot haver 100")},
        {certificate,
         QStringLiteral("El certificat del servidor SMTP smtp.x.cat no és de confiança: es va emetre per a cap nom, no per "
                        "a smtp.x.cat; va caducar el 2020-01-01 00:00:00 UTC. Titular del certificat: x; emissor: y; "
                        "vàlid del 2019-01-01 00:00:00 UTC al 2020-01-01 00:00:00 UTC; empremta SHA-256: AB:CD")},
        {QStringLiteral("Cannot use the trusted certificates file /c/a: b.pem: it holds no PEM certificate"),
         QStringLiteral("No es pot fer servir l'arxiu de certificats de confiança /c/a: b.pem: no conté cap certificat PEM")},
        {QStringLiteral("The TLS handshake with the SMTP Host failed (on this port the server may expect STARTTLS, or no "
                        "TLS at all): Connection refused"),
         QStringLiteral("La negociació TLS amb el servidor SMTP ha fallat (en aquest port potser el servidor espera "
                        "STARTTLS, o gens de TLS): Connexió rebutjada")},
        // A server's reply stays as written, each line on its own.
        {QStringLiteral("550 5.1.1 Host not found\r\n") + error_text::invalidSender + QStringLiteral("\r\n"),
         QStringLiteral("550 5.1.1 Host not found\r\nFalta l'adreça del remitent o no és vàlida\r\n")},
        {QStringLiteral("Socket not Open, really"), QStringLiteral("Socket not Open, really")},
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

TEST(MergeFields, EachPlaceholderIsReplacedOnceAndNoValueIsScanned)
{
    const RecordSnapshot record({QStringLiteral("Nom"), QStringLiteral("Correu"), QStringLiteral("Buit")},
                                {{QStringLiteral("<<<Correu>>>"), QStringLiteral("a@x.cat"), std::nullopt}});
    const MergeDelimiters delimiters{QStringLiteral("<<<"), QStringLiteral(">>>")};
    const std::pair<const char *, const char *> rows[] = {
        {"Hola <<<Nom>>>", "Hola <<<Correu>>>"},
        {"<<<Correu>>><<<Nom>>> <<<<Correu>>>>", "a@x.cat<<<Correu>>> <a@x.cat>"},
        {"<<<Buit>>> <<<Cognoms>>> <<<nom>>>", "<<<Buit>>> <<<Cognoms>>> <<<nom>>>"},
    };
    for (const auto &[text, merged] : rows)
        EXPECT_EQ(MergeFields(QString::fromUtf8(text), record, delimiters), QString::fromUtf8(merged)) << text;

    EXPECT_EQ(placeholderNamesIn(QStringLiteral("<<<Nom>>>, <<<<Cognoms>>> <<<Nom>>> <<<a\nb>>> <<<>>>"), delimiters),
              (QStringList{QStringLiteral("Nom"), QStringLiteral("Cognoms")}));
    EXPECT_TRUE(placeholderNamesIn(QStringLiteral("Nom <<<Nom>>>"), {QString(), QStringLiteral(">>>")}).isEmpty());
}

TEST(CampaignRunStop, OnlyFailuresWithoutAClearAnswerCountTowardsTheStop)
{
    const auto outcome = [](SendStage stage, bool senderAccepted, std::optional<int> code) {
        SendOutcome o;
        o.stage = stage;
        o.senderAccepted = senderAccepted;
        o.replyCode = code;
        return o;
    };
    SendOutcome sent;
    sent.sent = true;
    const std::pair<SendOutcome, bool> rows[] = {
        {sent, false},
        {outcome(SendStage::Validation, false, std::nullopt), false},
        {outcome(SendStage::Connection, false, std::nullopt), true}, // refused, no greeting
        {outcome(SendStage::Login, false, 535), true},               // a login that cannot happen
        {outcome(SendStage::Recipient, true, 550), false},           // a server that answers
        {outcome(SendStage::Data, true, 554), false},
        {outcome(SendStage::Data, true, 421), true},                 // closing down
        {outcome(SendStage::Timeout, true, std::nullopt), true},     // no reply to the final "."
        {outcome(SendStage::Data, true, std::nullopt), true},        // a protocol error, a flood
    };
    for (qsizetype i = 0; i < qsizetype(std::size(rows)); ++i)
        EXPECT_EQ(countsTowardsStop(rows[i].first), rows[i].second) << i;
}
