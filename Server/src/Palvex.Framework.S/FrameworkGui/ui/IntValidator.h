#pragma once

#include <QIntValidator>
#include <QString>

namespace serverframework {

// Integer validator of the port fields. Unlike QIntValidator a number out of
// range is Invalid (not Intermediate), and leading zeros, signs and blanks are
// refused, so a field can never hold more digits than the range allows.
class CIntValidator : public QIntValidator
{
    Q_OBJECT
public:
    CIntValidator(int bottom, int top, QObject* parent = nullptr);

    State validate(QString& input, int& pos) const override;
};

} // namespace serverframework
