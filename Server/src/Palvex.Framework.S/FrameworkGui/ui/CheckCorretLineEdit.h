#pragma once

#include <QString>
#include <QWidget>

#include <memory>

namespace Ui {
class CheckCorretLineEdit;
}

class QLineEdit;

namespace serverframework {

class CRightTipButton;

// Port input field with a green/red status mark on its right. Its look
// comes from the skin's style sheet, which tells the two states apart by the
// "invalid" property of the line edit and the mark.
class CCheckCorretLineEdit : public QWidget
{
    Q_OBJECT
public:
    explicit CCheckCorretLineEdit(QWidget* parent = nullptr);
    ~CCheckCorretLineEdit() override;

    QString text() const;
    void setText(const QString& text);
    void clear();

    // true: invalid look and valid == false; false: valid look and valid == true.
    void setInvalid(bool bInvalid);
    bool isValid() const { return valid; }

    // No validator, no tool tip, empty text (the external IP field).
    void setFreeTextMode();

    QLineEdit* lineEdit() const;
    CRightTipButton* tipButton() const;

signals:
    void signalShowTip(bool bShow);
    void signalText(QString strText);
    // Typing or pasting was refused by the validator; strAttempt is the text
    // the field would have held.
    void signalInputRefused(QString strAttempt);
    // The field lost the keyboard focus.
    void signalFocusOut();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<Ui::CheckCorretLineEdit> ui;
    bool valid = true;
    QString attempt; // the text the last key press or paste would make
};

} // namespace serverframework
