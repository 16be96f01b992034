#pragma once
// The start-up audit's port choice answered by the port dialog in its
// start-up form, without a parent window.

#include "logical/IPortChooser.h"

namespace serverframework {

class CStartupPortChooser : public IPortChooser
{
public:
    bool choosePorts(Form form, const PortValues& shown, const QMap<int, bool>& claimed, PortValues& chosen) override;
};

} // namespace serverframework
