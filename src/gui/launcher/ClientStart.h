#pragma once

namespace tq3 {

class SingleInstance;
class WindowRegistry;

enum class ClientRun { Running, EndProgram };

// The client's start: refuses a second client on this machine, then loads
// the launcher (whose load step is start-up) and shows it. EndProgram tells
// main to end at once; Running, that the event loop must run until the
// registry reports that the last window has closed.
ClientRun startClient(WindowRegistry &registry, SingleInstance &instance);

} // namespace tq3
