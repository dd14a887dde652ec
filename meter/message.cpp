// Numbers in messages that compare a value with a limit.
#include "meter/message.h"

namespace wobblemeter {

std::string DistinctFrom(double value, double limit, int decimals) {
    for (int d = decimals; d < 9; ++d) {
        const std::string shown = Format("%.*f", d, value);
        if (value == limit || shown != Format("%.*f", d, limit)) return shown;
    }
    return Format("%.9f", value);
}

}  // namespace wobblemeter
