#pragma once

#include "Fakes.h"

#include <QRegularExpression>
#include <QSaveFile>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace corvane::fakes {

// A run's end as a case file writes it: "hung", "running" (hung, and what ran as root
// outlived it), "missing" and why, or the status and what went to standard error; nothing for
// any other word.
inline std::optional<ToolOutcome> outcome(const QByteArray& text) {
    const QByteArray word = text.split(' ').constFirst();
    const QByteArray rest = text.mid(word.size() + 1);
    bool number = false;
    ToolOutcome result = exited(word.toInt(&number), word == "missing" ? QByteArray() : rest);
    if (word == "missing") {
        const QString why = rest.isEmpty() ? "No such file or directory" : QString::fromUtf8(rest);
        result.launchError = {why, "Error Domain=NSPOSIXErrorDomain Code=2 \"" + why + '"'};
    }
    result.stillRunning = word == "running";
    result.timedOut = word == "hung" || result.stillRunning;
    return number || word == "missing" || result.timedOut ? std::optional(result) : std::nullopt;
}

// One line of tests/core/cases/`file`.txt ("#" lines left out): its fields, split at " | " and
// percent-decoded (a newline is "%0A"), and its name in the test list, the file's and its first
// `titled` fields' in letters, digits and "_", with the row's number where that name is taken.
struct Row {
    QString file;
    qsizetype index = 0;
    QList<QByteArray> fields;
    std::string name;
};

inline std::vector<Row> rows(const QStringList& files, qsizetype titled = 1) {
    std::vector<Row> found;
    for (const QString& file : files) {
        QFile text(QStringLiteral(CORVANE_TRANSCRIPTS "/../cases/%1.txt").arg(file));
        if (!text.open(QIODevice::ReadOnly) || text.size() == 0)
            qFatal("no cases in %s", qPrintable(file));
        std::set<std::string> taken;
        qsizetype index = 0;
        for (const QByteArray& line : text.readAll().split('\n')) {
            if (line.isEmpty() || line.startsWith('#'))
                continue;
            Row& row = found.emplace_back(Row{file, index++, {}, {}});
            for (const QString& field : QString::fromUtf8(line).split(" | "))
                row.fields << QByteArray::fromPercentEncoding(field.toUtf8());
            row.name = (QStringList(file) + QStringList(row.fields.mid(0, titled).join(' ')))
                           .join('_')
                           .replace(QRegularExpression("[^A-Za-z0-9]+"), "_")
                           .toStdString();
            if (!taken.insert(row.name).second)
                row.name += '_' + std::to_string(index);
        }
    }
    return found;
}

// Its name in the test list, and as GoogleTest shows the row of a failed case.
// NOLINTNEXTLINE(readability-identifier-naming): the name GoogleTest looks for.
inline void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

// Replays the rows of the case file of `row` in order on one `Machine`, once per test program,
// and compares what `row` wrote (its `play` answers that, or nothing for a sentence it does not
// know) with its section of transcripts/<file>.txt, where a section begins at each line that
// starts with `marker` (every line when it is empty). With CORVANE_BLESS=1, the whole replay is
// first written over the transcript, for review.
template <typename Machine> void expectTranscript(const Row& row, const QString& marker) {
    static std::map<QString, QList<std::optional<QString>>> replays;
    const QString path = QStringLiteral(CORVANE_TRANSCRIPTS "/%1.txt").arg(row.file);
    auto [replay, fresh] = replays.try_emplace(row.file);
    if (fresh) {
        Machine machine;
        QString whole;
        for (const Row& each : rows({row.file}))
            whole += replay->second.emplaceBack(machine.play(each)).value_or(QString());
        QSaveFile blessed(path);
        if (qEnvironmentVariableIntValue("CORVANE_BLESS") == 1 &&
            !(blessed.open(QIODevice::WriteOnly) && blessed.write(whole.toUtf8()) >= 0 &&
              blessed.commit()))
            ADD_FAILURE() << "could not write " << path.toStdString();
    }
    const std::optional<QString>& wrote = replay->second.at(row.index);
    ASSERT_TRUE(wrote) << "a sentence the replay does not know in: "
                       << row.fields.join(" | ").toStdString();
    QFile file(path);
    const QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : "";
    const QStringList sections =
        text.split(QRegularExpression("(?=^" + QRegularExpression::escape(marker) + ")",
                                      QRegularExpression::MultilineOption),
                   Qt::SkipEmptyParts);
    EXPECT_EQ(wrote->toStdString(), sections.value(row.index).toStdString());
    EXPECT_TRUE(row.index + 1 < replay->second.size() || sections.size() == row.index + 1)
        << "the transcript goes on after the last row";
}

} // namespace corvane::fakes
