#include "frmMain.h"

#include "frmAbout.h"
#include "icons.h"
#include "journal_window.h"
#include "text_boxes.h"
#include "user_guide.h"
#include "window_placement.h"

#include <QAction>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>

#include <algorithm>

namespace tramelo {

void frmMain::setToolTipWithShortcut(QAction &action, const QString &toolTip)
{
    const QString shortcut = action.shortcut().toString(QKeySequence::NativeText);
    action.setToolTip(shortcut.isEmpty() ? toolTip : QStringLiteral("%1 (%2)").arg(toolTip, shortcut));
}

void frmMain::buildActions()
{
    // Each with the desktop's shortcut for its command, when it has one.
    const auto command = [this](const QString &text, const QString &toolTip,
                                QKeySequence::StandardKey key = QKeySequence::UnknownKey) {
        auto *action = new QAction(text, this);
        action->setShortcuts(key);
        setToolTipWithShortcut(*action, toolTip);
        return action;
    };
    actObre = command(QStringLiteral("&Obre…"), QStringLiteral("Llegir la configuració"), QKeySequence::Open);
    actDesa = command(QStringLiteral("&Desa"), QStringLiteral("Gravar la configuració"), QKeySequence::Save);
    actDesaComA = command(QStringLiteral("Desa &com a…"), QStringLiteral("Desar la configuració en un altre fitxer"),
                          QKeySequence::SaveAs);
    actSurt = command(QStringLiteral("&Surt"), QStringLiteral("Sortir del programa"), QKeySequence::Quit);
    actEnviaProva = command(QStringLiteral("Envia una &prova"), QStringLiteral("Enviar només el missatge de prova"));
    actEnvia = command(QStringLiteral("&Envia…"), QStringLiteral("Realitzar l'enviament"));
    actAtura = command(QStringLiteral("&Atura"), QStringLiteral("Aturar l'enviament en curs"));
    // The button's own word, with its mnemonic.
    actAtura->setIconText(QStringLiteral("&Aturar"));
    actAtura->setEnabled(false);
    actEsborraMarques = command(QStringLiteral("Esborra les &marques…"), QStringLiteral("Esborrar les marques d'enviat"));
    actObre->setIcon(themedIcon(QStringLiteral("document-open")));
    actDesa->setIcon(themedIcon(QStringLiteral("document-save")));
    actEnvia->setIcon(themedIcon(QStringLiteral("mail-send")));
    actEsborraMarques->setIcon(themedIcon(QStringLiteral("edit-clear")));
    actSurt->setIcon(themedIcon(QStringLiteral("application-exit")));
    actRegistre = command(QStringLiteral("&Registre d'enviaments"),
                          QStringLiteral("Cada intent d'enviament d'aquesta campanya, amb el seu resultat"));
    actRegistre->setIconText(actRegistre->text());
    actGuia = command(QStringLiteral("&Guia d'ús"), QStringLiteral("La primera campanya, pas a pas"),
                      QKeySequence::HelpContents);
    actQuantA = command(QStringLiteral("&Quant a Tramelo"), QStringLiteral("Sobre Tramelo"));
    // Each button is its action: its icon or words, its tool tip, its enabled state.
    const std::pair<QToolButton *, QAction *> buttons[] = {
        {cmbLlegir, actObre},     {cmbGravar, actDesa},  {cmbEnviar, actEnvia},        {cmbDesmarcar, actEsborraMarques},
        {cmbSortir, actSurt},     {cmbAturar, actAtura}, {cmbRegistre, actRegistre},
    };
    for (const auto &[button, action] : buttons)
        button->setDefaultAction(action);
    for (QAction *action : {actObre, actDesa, actDesaComA, actEnviaProva, actEnvia})
        connect(action, &QAction::triggered, this, &frmMain::runLeavingRules, Qt::DirectConnection);
    connect(actObre, &QAction::triggered, this, &frmMain::onLoadProject);
    connect(actDesa, &QAction::triggered, this, &frmMain::saveProject);
    connect(actDesaComA, &QAction::triggered, this, &frmMain::chooseAndSaveProject);
    connect(actSurt, &QAction::triggered, this, &frmMain::onExit);
    connect(actEnviaProva, &QAction::triggered, this, &frmMain::onTestSend);
    connect(actEnvia, &QAction::triggered, this, &frmMain::onSend);
    connect(actAtura, &QAction::triggered, this, &frmMain::onStop);
    connect(actEsborraMarques, &QAction::triggered, this, &frmMain::onClearMarks);
    connect(actRegistre, &QAction::triggered, this, &frmMain::showJournal);
    connect(actGuia, &QAction::triggered, this, &frmMain::showGuide);
    connect(actQuantA, &QAction::triggered, this, &frmMain::showAbout);
}

void frmMain::buildMenus()
{
    barraMenus = new QMenuBar(this);
    // Also the list of the load button's arrow.
    m_recentProjects = new QMenu(QStringLiteral("Projectes &recents"), this);
    QMenu *file = barraMenus->addMenu(QStringLiteral("&Fitxer"));
    file->addAction(actObre);
    file->addMenu(m_recentProjects);
    file->addSeparator();
    file->addAction(actDesa);
    file->addAction(actDesaComA);
    file->addSeparator();
    file->addAction(actSurt);
    QMenu *sending = barraMenus->addMenu(QStringLiteral("&Enviament"));
    sending->addAction(actEnviaProva);
    sending->addAction(actEnvia);
    sending->addAction(actAtura);
    sending->addSeparator();
    sending->addAction(actEsborraMarques);
    sending->addSeparator();
    sending->addAction(actRegistre);
    QMenu *help = barraMenus->addMenu(QStringLiteral("A&juda"));
    help->addAction(actGuia);
    help->addSeparator();
    help->addAction(actQuantA);
    layout()->setMenuBar(barraMenus);
}

void frmMain::runLeavingRules()
{
    const auto box = std::find(txtFields.begin(), txtFields.end(), focusWidget());
    if (box == txtFields.end())
        return;
    const int n = int(box - txtFields.begin());
    onTextBoxLeft(n);
    // The box keeps the focus: leaving it later is judged from here.
    m_textOnEntry[n] = textBoxText(txtFields[n]);
}

void frmMain::onTestSend()
{
    prepareTestSend();
    m_run.pressTestSend();
}

void frmMain::showJournal()
{
    if (!registre->isVisible())
        placeBeside(*this, *registre, 600);
    registre->show();
    registre->raise();
    registre->activateWindow();
}

void frmMain::showGuide()
{
    if (!guia)
        guia = new UserGuide(this);
    if (!guia->isVisible())
        placeBeside(*this, *guia, 600);
    guia->show();
    guia->raise();
    guia->activateWindow();
}

void frmMain::showAbout()
{
    if (!quantA)
        quantA = new frmAbout(*this, this);
    quantA->show();
    quantA->raise();
    quantA->activateWindow();
}

} // namespace tramelo
