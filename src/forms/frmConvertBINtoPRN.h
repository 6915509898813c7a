// The conversion dialog: the user picks a BIN memory image, and ConvertBINtoPRN turns it into
// its PRN report and CSV file while the blue bar in famPercent100 grows with gBytesRead.
// The main window opens it with exec(); in run mode 3 it starts the conversion by itself.
#pragma once

#include <QDialog>

#include "forms/FormContext.h"
#include "forms/PathLabel.h"

class QFrame;
class QLabel;
class QPushButton;
class QTimer;

class frmConvertBINtoPRN : public QDialog {
    Q_OBJECT

  public:
    explicit frmConvertBINtoPRN(const vsdl::forms::FormContext& context, QWidget* parent = nullptr);

    // Controls, named as their objectNames.
    QLabel* lblStatus = nullptr;
    QLabel* Label3 = nullptr;
    vsdl::forms::PathLabel* lblFilename = nullptr;
    QLabel* Label5 = nullptr;
    vsdl::forms::PathLabel* lblFullPath = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QLabel* Label2 = nullptr;
    QFrame* famPercent100 = nullptr;
    QFrame* famPercentSome = nullptr;
    QTimer* Timer1 = nullptr;  // one-shot automatic start in run mode 3
    QTimer* Timer2 = nullptr;  // redraws the bar while a conversion runs

    // True from the converting state until ConvertBINtoPRN has returned.
    bool converting() const { return converting_; }
    // The converting state's look: the status text, the bar shown, the three buttons disabled
    // and Timer2 redrawing the bar.
    void ShowConvertingState();

  public slots:
    void cmdBrowse_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
    void Timer1_Timer();
    void Timer2_Timer();

  public:
    // Esc and the close box: refused while a conversion runs, since it cannot stop half-way.
    void reject() override;

  private:
    void BuildControls();
    void Form_Load();
    void ShowPath(const QString& fullPath);
    void UpdateOkEnabled();
    void RunConversionSteps();

    vsdl::forms::FormContext context_;
    bool converting_ = false;
};
