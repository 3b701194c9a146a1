#pragma once

#include <QString>

namespace tramelo {

enum class MessageIcon { None, Information, Warning, Error, Critical, Question };
enum class Answer { Yes, No, Cancel };

// What the campaign's logic asks of the window, and nothing more. The main
// window implements it with widgets; the headless runner and the tests with
// plain objects, so whole campaigns run without a display.
class CampaignView
{
public:
    virtual ~CampaignView() = default;

    // A modal box titled "Tramelo" with a single OK button.
    virtual void showMessage(const QString &text, MessageIcon icon) = 0;
    // A modal Yes/No question with the question icon; true for Yes.
    virtual bool askYesNo(const QString &question, bool yesIsDefault) = 0;
    // The same with a third button, "Cancel·lar", which Escape and closing
    // the box choose; Yes is the default.
    virtual Answer askYesNoCancel(const QString &question) = 0;
    // The save dialog for a project file; empty when cancelled.
    virtual QString chooseProjectFileToSave() = 0;
    // The hourglass pointer; calls nest.
    virtual void setBusy(bool busy) = 0;

    // Handles the events already pending, without waiting.
    virtual void processEvents() = 0;
    // Sleeps until at least one event arrives, then handles what is pending.
    virtual void waitForEvents() = 0;

    // cmbLlegir, cmbGravar and cmbEnviar together; cmbDesmarcar on its own.
    virtual void setRunButtonsEnabled(bool enabled) = 0;
    virtual void setClearMarksEnabled(bool enabled) = 0;
    // Every control that changes the recipients, the grid or its marks (the
    // database box and its choosers, the source kind, the table list, the
    // statement, the address field list, the grid's double click and
    // cmbDesmarcar): off while a run walks the rows, back as they were after.
    virtual void setRecipientControlsEnabled(bool enabled) = 0;

    virtual void showGrid() = 0;
    // The "Enviament" tab selected and frameProgres shown; hidden again.
    virtual void showRunProgress() = 0;
    virtual void hideRunProgress() = 0;
    virtual void setTotalProgress(qint64 value, qint64 maximum) = 0; // pbTotal
    virtual void setCounts(const QString &text) = 0;                 // lblQuants
    virtual void setMessageProgress(int percent) = 0;                // pbProgres

    // The HTML view: a local file, or a blank page for an empty path.
    virtual void showBodyPage(const QString &path) = 0;
};

// Shows the busy pointer for the life of the object.
class BusyPointer
{
public:
    explicit BusyPointer(CampaignView &view) : m_view(view) { m_view.setBusy(true); }
    ~BusyPointer() { m_view.setBusy(false); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

private:
    CampaignView &m_view;
};

} // namespace tramelo
