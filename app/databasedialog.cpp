#include "databasedialog.h"

#include "databaseaccess.h"
#include "databaseform.h"
#include "errorbox.h"
#include "failure.h"
#include "orbeconnection.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>

DatabaseDialog::DatabaseDialog(QWidget *parent)
    : QDialog(parent)
    , m_current(DatabaseSetting::choose())
    , m_form(new DatabaseForm(this))
    , m_result(new QLabel(this))
{
    setObjectName(QStringLiteral("frmDatenbank"));
    setWindowTitle(QStringLiteral("Datenbank wählen"));
    auto *layout = new QVBoxLayout(this);
    const std::optional<DatabaseLocation> current = OrbeBase::parseLocation(m_current.location);
    auto *now = new QLabel(QStringLiteral("Tarvel öffnet jetzt: %1 (%2)")
                               .arg(current ? current->description() : QStringLiteral("eine ungültige Angabe"),
                                    m_current.sourceWord()),
                           this);
    now->setWordWrap(true);
    layout->addWidget(now);
    if (!m_current.changeable()) {
        auto *fixed = new QLabel(m_current.whyFixed() + QStringLiteral(" Eine andere Datenbank lässt sich hier nicht wählen."), this);
        fixed->setWordWrap(true);
        layout->addWidget(fixed);
    }
    layout->addWidget(m_form);
    m_form->showChoice(m_current);
    m_form->setEnabled(m_current.changeable());
    m_result->setWordWrap(true);
    m_result->setTextFormat(Qt::PlainText);
    m_result->setMinimumHeight(fontMetrics().lineSpacing() * 4);
    m_result->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(m_result, 1);

    auto *buttons = new QDialogButtonBox(this);
    m_check = buttons->addButton(QStringLiteral("Verbindung prüfen"), QDialogButtonBox::ActionRole);
    m_apply = buttons->addButton(QStringLiteral("Übernehmen"), QDialogButtonBox::AcceptRole);
    m_close = buttons->addButton(m_current.changeable() ? QStringLiteral("Abbrechen") : QStringLiteral("Schließen"),
                                 QDialogButtonBox::RejectRole);
    m_apply->setVisible(m_current.changeable());
    layout->addWidget(buttons);
    connect(m_check, &QPushButton::clicked, this, &DatabaseDialog::check);
    connect(m_apply, &QPushButton::clicked, this, &DatabaseDialog::apply);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_form, &DatabaseForm::changed, this, &DatabaseDialog::forgetCheck);
    forgetCheck();
    setMinimumWidth(fontMetrics().averageCharWidth() * 100);
}

void DatabaseDialog::forgetCheck()
{
    m_checked = false;
    m_apply->setEnabled(false);
    m_check->setDefault(true);
    m_result->setText(QStringLiteral("Noch nicht geprüft: „Verbindung prüfen“ öffnet die Datenbank."));
}

QString DatabaseDialog::checkLocation(const DatabaseLocation &location, bool *fits) const
{
    *fits = false;
    // The embedded default is made on first use, as at start.
    const bool embedded = m_form->kind() == DatabaseForm::Embedded;
    QString reason;
    if (embedded && !QFileInfo::exists(location.path) && !OrbeBase::createDatabaseFile(location.path, &reason))
        return reason;
    OrbeBase probe;
    try {
        if (!probe.ConnectTo(DatabaseAccess::withKnownPassword(location).toString())) {
            reason = tidyDriverText(probe.connectFailure());
            if (DatabaseAccess::passwordWanted(reason))
                reason += QStringLiteral("\n\nBitte geben Sie das Kennwort ein.");
            return reason;
        }
    } catch (const Failure &failure) {
        return failure.description();
    }
    const QString description = probe.Connection()->Description();
    const QString mismatch = notTarvelsBecause(*probe.Connection());
    if (!mismatch.isEmpty())
        return QStringLiteral("%1 lässt sich öffnen, ist aber nicht die von Tarvel: %2").arg(description, tidyDriverText(mismatch));
    *fits = true;
    return QStringLiteral("%1 lässt sich öffnen und passt zu Tarvel.").arg(description);
}

void DatabaseDialog::check()
{
    QString why;
    const std::optional<DatabaseLocation> location = m_form->location(&why);
    if (!location) {
        m_result->setText(why);
        return;
    }
    m_result->setText(QStringLiteral("Die Verbindung wird geprüft …"));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    m_result->repaint();
    bool fits = false;
    m_result->setText(checkLocation(*location, &fits));
    m_checked = fits;
    m_apply->setEnabled(fits && m_current.changeable());
    // Enter then takes what was checked.
    if (fits) {
        m_taken = *location;
        m_apply->setDefault(m_current.changeable());
    }
}

void DatabaseDialog::apply()
{
    if (!m_checked || !m_current.changeable())
        return;
    // The setting holds no password; the embedded default is no setting,
    // unless the machine's would win over its absence.
    DatabaseLocation stored = m_taken;
    stored.password.clear();
    const bool embedded = m_form->kind() == DatabaseForm::Embedded;
    const QString setting = embedded && DatabaseSetting::machineLocation().isEmpty() ? QString() : stored.toString();
    QString error;
    if (!DatabaseSetting::storeUserLocation(setting, &error)) {
        m_result->setText(error);
        return;
    }
    DatabaseAccess::rememberPassword(m_taken);
    accept();
}
