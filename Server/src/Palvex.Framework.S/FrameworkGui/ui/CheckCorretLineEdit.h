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

// Port input field with a green/red status mark on its right.
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

    static const char* const kTipValidStyle;
    static const char* const kTipInvalidStyle;
    static const char* const kEditValidStyle;
    static const char* const kEditInvalidStyle;

signals:
    void signalShowTip(bool bShow);
    void signalText(QString strText);

private:
    std::unique_ptr<Ui::CheckCorretLineEdit> ui;
    bool valid = true;
};

} // namespace serverframework
