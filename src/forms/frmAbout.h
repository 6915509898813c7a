// The About box: the application title, the version and what the program is for. OK closes it.
#pragma once

#include <QDialog>

#include "forms/FormContext.h"

class QLabel;
class QPushButton;

class frmAbout : public QDialog {
    Q_OBJECT

  public:
    explicit frmAbout(const vsdl::forms::FormContext& context, QWidget* parent = nullptr);

    // "This program allows ... web page at https://www.valdorsensing.example/."
    static QString DescriptionText();

    // Controls, named as their objectNames.
    QLabel* lblTitle1 = nullptr;
    QLabel* lblTitle2 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* cmdOK = nullptr;

  public slots:
    void cmdOK_Click();

  private:
    void BuildControls();
    void Form_Load();

    vsdl::forms::FormContext context_;
};
