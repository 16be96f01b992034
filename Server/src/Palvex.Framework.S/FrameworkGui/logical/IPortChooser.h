#pragma once
// The start-up audit's question to a person: the ports to use when the
// configured HTTP port cannot be used. The port dialog answers it; tests fake
// it; without a display nobody is asked.

#include "logical/PortValues.h"

#include <QMap>

namespace serverframework {

class IPortChooser
{
public:
    enum class Form {
        HttpOnly,        // the HTTP port is held; only it (and the video wall port) is chosen
        Full,            // the HTTP port is held; external access may be turned on
        HttpEqualsTamsa, // the HTTP port equals the TamsaCMS port; the choice is written at once
    };

    virtual ~IPortChooser() = default;

    // Shows the values, with the claimed ports counting as taken. On true
    // (accepted) chosen holds what the person chose: the HTTP and TamsaCMS
    // ports, and for the full form whether external access is on with its
    // seven ports. False when the person cancelled.
    virtual bool choosePorts(Form form, const PortValues& shown, const QMap<int, bool>& claimed,
                             PortValues& chosen) = 0;
};

} // namespace serverframework
