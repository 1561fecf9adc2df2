#pragma once

#include <QWidget>

#include <memory>

class OrbeBase;
class OrbeConnection;
class QPushButton;
class CooperativeWindow;
class DistrictWindow;
class ImportWindow;

// The start window (object name "frmGutachtenStart"): opens the two import
// windows and ends the program. It keeps at most one window of each kind,
// created on first use.
class StartWindow : public QWidget
{
    Q_OBJECT

public:
    // Inner area in twips.
    static constexpr int DesignWidth = 7590;
    static constexpr int DesignHeight = 1320;

    StartWindow();
    ~StartWindow() override;

    // Write-only: keeps the object and fetches its connection. Throws Failure
    // when no object is given.
    void setOrbeBase(OrbeBase *base);

    void cmdHG_Click();
    void cmdJagdbezirk_Click();
    void cmdBeenden_Click();

    QPushButton *cmdHG() const { return m_cmdHG; }
    QPushButton *cmdJagdbezirk() const { return m_cmdJagdbezirk; }
    QPushButton *cmdBeenden() const { return m_cmdBeenden; }

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

    OrbeBase *m_base = nullptr;
    std::shared_ptr<OrbeConnection> m_connection; // kept, never used here
    std::unique_ptr<DistrictWindow> m_district;
    std::unique_ptr<CooperativeWindow> m_cooperative;

    QPushButton *m_cmdHG;
    QPushButton *m_cmdJagdbezirk;
    QPushButton *m_cmdBeenden;
};

// Ends the program at once: every window disappears without its closing
// handler, and the event loop, when one runs, returns.
void endProgramAtOnce();
