#pragma once

namespace corvane {

class Alerts;
class LogSink;
class RunningApplications;

// Looks for other running copies of Corvane and logs what it finds. When there is one, tells
// the user in a modal alert and answers false once it is dismissed: the caller must then quit.
// Call it on the main thread, before anything else happens at launch.
bool checkSingleInstance(RunningApplications& applications, Alerts& alerts, LogSink& log);

} // namespace corvane
