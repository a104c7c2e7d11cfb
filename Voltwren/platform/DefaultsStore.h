#pragma once

#include <QByteArray>
#include <QString>

#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

// One value read from the per-user store. "Other" stands for a stored value
// of a type the store does not model, so that a value of the wrong type under
// a key can be told apart from a missing key and ignored.
class DefaultsValue {
public:
    enum class Type { number, boolean, string, data, other };

    static DefaultsValue number(double value) {
        return DefaultsValue(Storage(std::in_place_index<0>, value));
    }
    static DefaultsValue boolean(bool value) { return DefaultsValue(Storage(std::in_place_index<1>, value)); }
    static DefaultsValue string(QString value) {
        return DefaultsValue(Storage(std::in_place_index<2>, std::move(value)));
    }
    static DefaultsValue data(QByteArray value) {
        return DefaultsValue(Storage(std::in_place_index<3>, std::move(value)));
    }
    static DefaultsValue other() { return DefaultsValue(Storage(std::in_place_index<4>)); }

    Type type() const { return static_cast<Type>(m_value.index()); }

    // Each is present only when the value has that type; no conversions.
    std::optional<double> toNumber() const { return get<0>(); }
    std::optional<bool> toBool() const { return get<1>(); }
    std::optional<QString> toString() const { return get<2>(); }
    std::optional<QByteArray> toData() const { return get<3>(); }

    friend bool operator==(const DefaultsValue&, const DefaultsValue&) = default;

private:
    using Storage = std::variant<double, bool, QString, QByteArray, std::monostate>;
    explicit DefaultsValue(Storage value)
        : m_value(std::move(value)) {}

    template <std::size_t I> std::optional<std::variant_alternative_t<I, Storage>> get() const {
        if (m_value.index() != I)
            return std::nullopt;
        return std::get<I>(m_value);
    }

    Storage m_value;
};

// The application's per-user typed key-value store. Main thread only.
class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;

    // nullopt when nothing is stored under KEY.
    virtual std::optional<DefaultsValue> get(const QString& key) const = 0;

    // Each write updates the value at once for later reads; false when it
    // could not be made lasting (callers may ignore that).
    virtual bool setNumber(const QString& key, double value) = 0;
    virtual bool setBool(const QString& key, bool value) = 0;
    virtual bool setString(const QString& key, const QString& value) = 0;
    virtual bool setData(const QString& key, const QByteArray& value) = 0;

    // Where the store's problems go (a file it cannot read, one it moved
    // aside): one sentence each, for the diagnostic log. Problems met before
    // a reporter is set, while loading say, are handed to it when it is set.
    void setProblemReporter(std::function<void(const QString& problem)> reporter) {
        m_reporter = std::move(reporter);
        if (!m_reporter)
            return;
        const QStringList pending = std::exchange(m_pendingProblems, {});
        for (const QString& problem : pending)
            m_reporter(problem);
    }

protected:
    void reportProblem(const QString& problem) {
        if (m_reporter)
            m_reporter(problem);
        else
            m_pendingProblems.append(problem);
    }

private:
    std::function<void(const QString&)> m_reporter;
    QStringList m_pendingProblems;
};

// The running user's store, loaded on first use. Main thread only.
DefaultsStore& userDefaults();

// The running user's settings for a reader that must change nothing: its
// writes keep to memory and a damaged file is left where it is.
std::unique_ptr<DefaultsStore> makeReadOnlyUserDefaults();
