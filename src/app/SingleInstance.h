#pragma once

namespace corvane {

class InstanceLock;
class Log;

// Takes the instance lock and logs what it finds. When another copy holds it, tells the user
// in a modal alert and answers false once that is dismissed: the caller must then quit. When
// no lock can be had anywhere it says so in the log and lets this copy run. Call it on the GUI
// thread, before anything else happens at launch.
bool checkSingleInstance(InstanceLock& lock, Log& log);

} // namespace corvane
