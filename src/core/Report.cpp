#include "core/Report.h"

#include "core/Detection.h"
#include "core/Journal.h"
#include "core/Processes.h"
#include "core/ToolSession.h"
#include "core/Version.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QSysInfo>

namespace corvane {
namespace {

// As many crash reports as show a pattern; older ones say nothing new.
constexpr int crashReportCount = 10;

// `text` as it may be printed: a value's own line breaks and escape sequences show as \xNN.
QString plain(const QString& text) {
    return harmless(text.toUtf8());
}

// Lines in a fenced block whose fence no line of theirs can close.
QString block(const QStringList& lines) {
    qsizetype longest = 2;
    static const QRegularExpression ticks(QStringLiteral("`+"));
    for (const QString& line : lines)
        for (const QRegularExpressionMatch& run : ticks.globalMatch(line))
            longest = std::max(longest, run.capturedLength());
    const QString fence(longest + 1, QLatin1Char('`'));
    QString text = fence + QLatin1Char('\n');
    for (const QString& line : lines)
        text += plain(line) + QLatin1Char('\n');
    return text + fence + QStringLiteral("\n\n");
}

QString section(const QString& heading, const QString& body) {
    return QStringLiteral("## ") + heading + QStringLiteral("\n\n") + body;
}

QString paragraph(const QString& text) {
    return plain(text) + QStringLiteral("\n\n");
}

QString list(const QStringList& items) {
    QString text;
    for (const QString& item : items)
        text += QStringLiteral("- ") + plain(item) + QLatin1Char('\n');
    return text + QLatin1Char('\n');
}

// `items` as a list, or `none` when there are none.
QString listOr(const QStringList& items, const QString& none) {
    return items.isEmpty() ? paragraph(none) : list(items);
}

QString devices(const std::optional<Devices>& devices) {
    if (!devices)
        return section(QStringLiteral("Devices"), paragraph(QStringLiteral("Not read.")));
    QStringList usb;
    for (const UsbDevice& device : devices->usb)
        usb << device.path.section(QLatin1Char('/'), -2, -2) + QLatin1Char(' ') +
                   QString::fromUtf8(device.vendor + ':' + device.product) +
                   QStringLiteral(" configuration ") +
                   (device.configuration.isEmpty() ? QStringLiteral("none")
                                                   : QString::fromUtf8(device.configuration));
    QString text =
        section(QStringLiteral("USB devices"),
                usb.isEmpty() ? paragraph(QStringLiteral("None found.")) : block(usb)) +
        section(QStringLiteral("Display cards' drivers"),
                listOr(devices->displayDrivers, QStringLiteral("None."))) +
        section(QStringLiteral("Backlights"), listOr(devices->backlights, QStringLiteral("None.")));
    if (!devices->problem.isEmpty())
        text += paragraph(QStringLiteral("Not read whole: ") + devices->problem);
    return text;
}

QString unit(const std::optional<UnitProperties>& unit) {
    if (!unit)
        return section(QStringLiteral("The unit"), paragraph(QStringLiteral("Not read.")));
    QStringList properties;
    for (auto value = unit->values.cbegin(); value != unit->values.cend(); ++value)
        properties << value.key() + QLatin1Char('=') + value.value();
    properties.sort();
    QStringList bound;
    for (auto state = unit->boundStates.cbegin(); state != unit->boundStates.cend(); ++state)
        bound << state.key() + QStringLiteral(": ") + state.value();
    QString text = section(QStringLiteral("The unit"),
                           properties.isEmpty() ? paragraph(QStringLiteral("No properties."))
                                                : block(properties));
    if (!bound.isEmpty())
        text += paragraph(QStringLiteral("Bound device units:")) + list(bound);
    if (!unit->problem.isEmpty())
        text += paragraph(QStringLiteral("Not read whole: ") + unit->problem);
    return text;
}

QString modules(const QStringList& loaded) {
    static const QRegularExpression touchBar(
        QStringLiteral("^(appletbdrm|hid_appletb_.*|apple_bce|t2bce.*)$"));
    return section(QStringLiteral("Touch Bar modules loaded"),
                   listOr(loaded.filter(touchBar), QStringLiteral("None.")));
}

QString journal(const std::optional<JournalLines>& journal) {
    const QString daemon = QStringLiteral("tiny-dfr's journal");
    const QString kernel = QStringLiteral("The kernel's Touch Bar lines");
    QString why;
    if (!journal)
        why = QStringLiteral("Not read.");
    else if (!journal->permitted)
        why = QStringLiteral("This user may not read the system journal.");
    else if (!journal->problem.isEmpty())
        why = QStringLiteral("Not read: ") + journal->problem;
    if (!why.isEmpty())
        return section(daemon, paragraph(why)) + section(kernel, paragraph(why));
    const auto lines = [](const QStringList& read) {
        return read.isEmpty() ? paragraph(QStringLiteral("None.")) : block(read);
    };
    return section(daemon, lines(journal->daemon)) + section(kernel, lines(journal->kernel));
}

QString history(const QList<QJsonObject>& entries) {
    QStringList lines;
    for (const QJsonObject& entry : entries)
        lines << QString::fromUtf8(QJsonDocument(entry).toJson(QJsonDocument::Compact));
    return section(QStringLiteral("History"),
                   lines.isEmpty() ? paragraph(QStringLiteral("No history yet.")) : block(lines));
}

QString crashReports(const QList<CrashReport>& reports) {
    QStringList items;
    for (const CrashReport& report : reports)
        items << report.name + QStringLiteral(", ") +
                     report.modified.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"));
    return section(QStringLiteral("TouchBarServer crash reports"),
                   listOr(items, QStringLiteral("None.")));
}

QString removed(const QMap<PersonalDetail, int>& counts) {
    QStringList items;
    for (auto count = counts.cbegin(); count != counts.cend(); ++count)
        items << describeDetail(count.key()) + QStringLiteral(": ") + QString::number(*count);
    return section(QStringLiteral("Removed"),
                   items.isEmpty()
                       ? paragraph(QStringLiteral("Nothing personal was found."))
                       : paragraph(QStringLiteral("Personal details were replaced before this "
                                                  "report was written:")) +
                             list(items))
               .trimmed() +
           QLatin1Char('\n');
}

} // namespace

QString writeReport(const ReportInput& input, const PersonalNames& names) {
    const Observation& seen = input.observation;
    const auto value = [](const QString& text) {
        return text.isEmpty() ? QStringLiteral("unknown") : text;
    };
    QStringList services;
    for (const ServiceStatus& service : input.health.services)
        services << service.name + (service.running ? QStringLiteral(": running")
                                                    : QStringLiteral(": not running"));
    QString health = paragraph(healthKey(input.health.state) + QStringLiteral(": ") +
                               describeHealth(input.health));
    if (!input.health.hint.isEmpty())
        health += paragraph(QStringLiteral("Hint: ") + input.health.hint);
    QString text =
        QStringLiteral("# Corvane report\n\n") +
        list({QStringLiteral("Corvane: ") + input.version,
              QStringLiteral("System: ") + value(input.system),
              QStringLiteral("Kernel: ") + value(seen.kernelRelease),
              QStringLiteral("Model: ") + value(seen.model),
              QStringLiteral("Touch Bar: ") +
                  (input.touchBar ? QStringLiteral("yes") : QStringLiteral("none detected")),
              QStringLiteral("Backend: ") +
                  (input.backend.isEmpty() ? QStringLiteral("none") : input.backend)}) +
        section(QStringLiteral("Health"), health + list(services));
    if (input.backend == QLatin1String("macos"))
        text += crashReports(input.crashReports);
    else
        text +=
            devices(seen.devices) + unit(seen.unit) + modules(seen.modules) + journal(seen.journal);
    text += history(input.history);
    PersonalNames named = names;
    if (seen.journal)
        for (const QString& line : seen.journal->daemon + seen.journal->kernel)
            named.hosts << journalHost(line);
    named.hosts.removeAll(QString());
    named.hosts.removeDuplicates();
    const Redacted redacted = redact(text, named);
    return redacted.text + removed(redacted.removed);
}

ReportInput readReportInput(const Services& services, const Backend& backend,
                            const QList<QJsonObject>& history) {
    const ToolSession tools(services);
    const Processes processes(tools, backend);
    ReportInput input;
    input.version = applicationVersion;
    input.system = systemName(services.root);
    input.touchBar = checkTouchBarAvailability(processes, services, backend);
    input.backend = backend.onlyWhileRunning && !input.touchBar ? QString() : backend.key;
    ProcessListing listing;
    for (const QString& name : backend.processes)
        listing.insert(name, processes.find(name));
    const QString model = getModelIdentifier(services.modelQuery, services.output).trimmed();
    input.observation = observeHealth(backend, tools, services.root, model, listing);
    input.health = classifyHealth(backend, input.observation);
    // The health reads the kernel's lines only where they could change it; a maintainer asks
    // for them all the same.
    if (input.observation.journal && input.observation.journal->kernel.isEmpty())
        readKernelLines(tools, *input.observation.journal);
    if (input.observation.kernelRelease.isEmpty())
        input.observation.kernelRelease = QSysInfo::kernelVersion();
    for (const QString& folder : diagnosticReportFolders())
        input.crashReports << touchBarCrashReports(folder, crashReportCount);
    input.history = history;
    return input;
}

PersonalNames personalNames() {
    return {accountNames(), {QSysInfo::machineHostName()}};
}

} // namespace corvane
