#pragma once

#include <QWidget>

#include <memory>

class OrbeBase;
class OrbeConnection;
class QPushButton;
class frmTarvel;
class frmTarvelJagdbezirk;

// The start window: opens the two import windows and ends the program. It
// keeps at most one window of each kind, created on first use.
class frmGutachtenStart : public QWidget
{
    Q_OBJECT

public:
    // Inner area in twips.
    static constexpr int DesignWidth = 7590;
    static constexpr int DesignHeight = 1320;

    frmGutachtenStart();
    ~frmGutachtenStart() override;

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
    frmTarvelJagdbezirk *districtWindow() const { return m_district.get(); }
    frmTarvel *cooperativeWindow() const { return m_cooperative.get(); }

    OrbeBase *orbeBase() const { return m_base; }

private:
    OrbeBase *m_base = nullptr;
    std::shared_ptr<OrbeConnection> m_connection; // kept, never used here
    std::unique_ptr<frmTarvelJagdbezirk> m_district;
    std::unique_ptr<frmTarvel> m_cooperative;

    QPushButton *m_cmdHG;
    QPushButton *m_cmdJagdbezirk;
    QPushButton *m_cmdBeenden;
};

// Ends the program at once: every window disappears without its closing
// handler, and the event loop, when one runs, returns.
void endProgramAtOnce();
