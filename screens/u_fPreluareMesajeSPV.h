#pragma once
// The SPV retrieval screen: one button fetches every new message of the last 60 days.

#include <QWidget>

class QLabel;
class QPushButton;
class QCheckBox;
class QPlainTextEdit;

class TfPreluareMesajeSPV : public QWidget {
    Q_OBJECT
public:
    explicit TfPreluareMesajeSPV(QWidget* parent = nullptr);

    QLabel* Label18 = nullptr;
    QPushButton* ButtonPreluareMesajeSPV = nullptr;
    QCheckBox* CheckBoxUseAPI = nullptr;
    QPushButton* Button1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPlainTextEdit* Memo2 = nullptr;

    bool isRunning() const { return running_; }

public slots:
    void ButtonPreluareMesajeSPVClick();
    void CheckBoxUseAPIClick();
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;  // FormShow

private:
    bool running_ = false;
};

extern TfPreluareMesajeSPV* fPreluareMesajeSPV;
