// The mailbox the sample application opens: an inbox and a few other
// folders and open compositions.
#pragma once
#include <vector>

#include "stand_in_host.h"

namespace sample {

std::vector<host::MailMessage> Inbox();
// The message list child (the inbox) first, then the other folders and the
// compositions, in tab order.
std::vector<host::ChildSetup> Windows();

}  // namespace sample
