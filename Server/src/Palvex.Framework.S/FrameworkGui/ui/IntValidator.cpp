#include "IntValidator.h"

namespace serverframework {

CIntValidator::CIntValidator(int bottom, int top, QObject* parent)
    : QIntValidator(bottom, top, parent)
{
}

QValidator::State CIntValidator::validate(QString& input, int& /*pos*/) const
{
    if (input.contains(QLatin1Char(' ')) || input.contains(QLatin1Char('+')))
        return Invalid;
    if (input.isEmpty())
        return Intermediate;
    if (bottom() < 0 && input == QLatin1String("-"))
        return Intermediate;
    if (bottom() == 0 && input.size() > 1 && input.startsWith(QLatin1Char('0')))
        return Invalid;
    if (bottom() > 0 && input.startsWith(QLatin1Char('0')))
        return Invalid;

    bool ok = false;
    const int value = input.toInt(&ok, 10);
    if (!ok)
        return Invalid;
    if (value < 0 && bottom() >= 0)
        return Invalid;
    if (value < bottom() || value > top())
        return Invalid;
    return Acceptable;
}

} // namespace serverframework
