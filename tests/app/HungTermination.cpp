// Corvane as shipped, except that every termination hangs: pkill is swapped for a child that
// never exits. The end-to-end test drives it to show that the window stays responsive and
// that quitting still ends the process at once.
#include "Application.h"
#include "PosixToolRunner.h"
#include "SystemPlatform.h"

namespace {

class HangingTermination final : public corvane::ToolRunner {
public:
    corvane::ToolOutcome run(const QString& program, const QStringList& arguments,
                             StandardError standardError) override {
        if (program == QLatin1String("/usr/bin/pkill"))
            return tools.run(QStringLiteral("/bin/sleep"), {QStringLiteral("infinity")},
                             standardError);
        return tools.run(program, arguments, standardError);
    }

private:
    corvane::PosixToolRunner tools;
};

} // namespace

int main(int argc, char* argv[]) {
    corvane::Application application(argc, argv);
    corvane::SystemPlatform platform;
    const corvane::PlatformServices real = platform.services();
    HangingTermination tools;
    application.run(
        {tools, real.modelQuery, real.defaults, real.executor, real.clock, real.sleeper, real.log});
}
