#pragma once

#include <QJsonDocument>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What a figure must reach. Bounds are speed targets; an exact value is a check that the
// measured work was done right. A row without a target is shown for information.
struct Target
{
    enum class Kind { None, AtMost, AtLeast, Equals };
    Kind kind = Kind::None;
    QJsonValue bound;

    static Target atMost(double bound) { return {Kind::AtMost, bound}; }
    static Target atLeast(double bound) { return {Kind::AtLeast, bound}; }
    static Target equals(const QJsonValue &bound) { return {Kind::Equals, bound}; }

    /// Whether `value` reaches the target; std::nullopt when there is none.
    std::optional<bool> metBy(const QJsonValue &value) const;
    /// The target as the table shows it, such as "<= 0.5".
    QString text() const;
};

// One measured figure.
struct Row
{
    QString name;
    QString size;
    QJsonValue value; ///< A number, or true or false for a yes-or-no check.
    QString unit;
    Target target;

    std::optional<bool> met() const { return target.metBy(value); }
};

// Every figure of a run, and the sizes that were skipped or failed.
struct Report
{
    QList<Row> rows;
    /// Sizes not measured for want of room, each with the reason.
    QStringList skipped;
    /// Sizes whose measurement broke off, each with the reason.
    QStringList failures;

    /// One table: row, size, figure, unit, target and whether it was met.
    QString table() const;
    QJsonDocument toJson() const;
    /// The report that toJson() wrote as `json`; std::nullopt when it holds anything else.
    static std::optional<Report> fromJson(const QByteArray &json);
    /// Adds the rows, skipped sizes and failures of `other`.
    Report &operator+=(const Report &other);
    /// Whether every check came out right and nothing failed; speed targets do not count here.
    bool checksPassed() const;
};
