#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet::thunderbird {

// The name of the filter that carries an identity's blocked senders.
inline constexpr char kBlockedSendersFilterName[] = "Blocked senders";

// A msgFilterRules.dat holding one filter that deletes, on arrival and when run by hand, every
// message whose sender contains one of `senders`; empty when there are none. Values are written as
// Thunderbird's own filter writer writes them: a `"` escaped with a backslash, a value quoted when
// it holds a `)` or begins with a blank or a `"`; control characters (a line break would end the
// filter's line) are left out.
std::string BlockedSendersFilterFile(const std::vector<std::string>& senders);

}  // namespace quillet::thunderbird
