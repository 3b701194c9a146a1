#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tramelo {

class Campaign;

// What is checked before any message of a test send or a run goes, in the
// window and in tramelo-run alike.

// The first thing that keeps the campaign from being sent at all, for the
// operator: the validation of its settings, a sender address that the mail
// component would refuse, an image that the body names and that does not
// exist. Nothing when it may be sent.
std::optional<QString> refusalBeforeSending(const Campaign &campaign);

// The placeholders of the subject and the body ("<<<Cognoms>>>") that name
// no field of the source: a message of its own per recipient would carry
// them as written. Empty when the run sends groups, which merge nothing.
QStringList unknownPlaceholders(const Campaign &campaign);
// The window asks whether to go on anyway; tramelo-run refuses unless told
// to accept them, and then says it.
QString unknownPlaceholdersQuestion(const QStringList &placeholders);
QString unknownPlaceholdersRefusal(const QStringList &placeholders);
QString unknownPlaceholdersWarning(const QStringList &placeholders);

// The placeholders of the subject and the body when the run sends groups in
// blind copy: they go unmerged, as written.
QStringList unmergedPlaceholders(const Campaign &campaign);
// The window asks; tramelo-run says it and goes on.
QString unmergedPlaceholdersQuestion(const QStringList &placeholders);
QString unmergedPlaceholdersWarning(const QStringList &placeholders);

// A run with no row left to send to.
inline const QString nothingToSendMessage = QStringLiteral("No hi ha cap destinatari per enviar");

} // namespace tramelo
