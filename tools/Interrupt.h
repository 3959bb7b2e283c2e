// Ctrl-C ends the commands that run until interrupted, cleanly, at their next moment of waiting.
#pragma once

namespace uvccamctl {

// From now on the first SIGINT or SIGTERM only sets a flag; a second one ends the process
// as usual, for a library call that does not return.
void catchInterrupts();
bool interrupted();

}  // namespace uvccamctl
