#pragma once

#include <QWidget>

#include <memory>

class FittingLabel;
class OrbeBase;
class OrbeConnection;
class QPushButton;
struct DatabaseLocation;
class CooperativeWindow;
class DistrictWindow;
class ImportWindow;

// The start window (object name "frmGutachtenStart"): opens the two import
// windows and ends the program. It keeps at most one window of each kind,
// created on first use. A row below the buttons names the database and opens
// "Datenbank wählen"; a database taken there is opened for the runs started
// after it.
class StartWindow : public QWidget
{
    Q_OBJECT

public:
    // Inner area in twips.
    static constexpr int DesignWidth = 7590;
    static constexpr int DesignHeight = 1740;

    StartWindow();
    ~StartWindow() override;

    // Write-only: keeps the object and fetches its connection. Throws Failure
    // when no object is given.
    void setOrbeBase(OrbeBase *base);

    void cmdHG_Click();
    void cmdJagdbezirk_Click();
    void cmdBeenden_Click();
    void cmdDatenbank_Click();

    QPushButton *cmdHG() const { return m_cmdHG; }
    QPushButton *cmdJagdbezirk() const { return m_cmdJagdbezirk; }
    QPushButton *cmdBeenden() const { return m_cmdBeenden; }
    QPushButton *cmdDatenbank() const { return m_cmdDatenbank; }
    FittingLabel *lblDatenbank() const { return m_lblDatenbank; }

    // The import windows made so far, or nullptr.
    DistrictWindow *districtWindow() const { return m_district.get(); }
    CooperativeWindow *cooperativeWindow() const { return m_cooperative.get(); }

    OrbeBase *orbeBase() const { return m_base; }

protected:
    void hideEvent(QHideEvent *event) override;

private:
    // The import windows with a run going.
    QList<ImportWindow *> runningWindows() const;
    // Asks once before runs going are cancelled, and waits until they have
    // ended; false when the user keeps them.
    bool stopRuns();
    // Opens the location taken in "Datenbank wählen" (the one before when it
    // cannot be opened) and hands the database to the import windows again.
    void switchDatabase(const DatabaseLocation &location);
    void showDatabase();

    OrbeBase *m_base = nullptr;
    std::shared_ptr<OrbeConnection> m_connection; // kept, never used here
    std::unique_ptr<DistrictWindow> m_district;
    std::unique_ptr<CooperativeWindow> m_cooperative;

    QPushButton *m_cmdHG;
    QPushButton *m_cmdJagdbezirk;
    QPushButton *m_cmdBeenden;
    FittingLabel *m_lblDatenbank;
    QPushButton *m_cmdDatenbank;
};

// Ends the program at once: every window disappears without its closing
// handler, and the event loop, when one runs, returns.
void endProgramAtOnce();
