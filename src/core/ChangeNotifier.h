#pragma once

#include <functional>
#include <vector>

namespace corvane {

// A will-change notification: observers hear of a change before the new value is stored, on
// the thread that makes the change. Subscribing and notifying belong to the main thread.
class ChangeNotifier {
public:
    using Observer = std::function<void()>;
    using Subscription = int;

    Subscription subscribe(Observer observer);
    void unsubscribe(Subscription subscription);
    void notify() const;

private:
    struct Entry {
        Subscription subscription;
        Observer observer;
    };
    std::vector<Entry> entries;
    Subscription nextSubscription = 1;
};

// A value whose every write, also of an equal value, first notifies `notifier`.
template <typename T> class Published {
public:
    Published(const ChangeNotifier& notifier, T initial)
        : notifier(notifier)
        , current(std::move(initial)) {}

    const T& value() const { return current; }
    void set(T value) {
        notifier.notify();
        current = std::move(value);
    }

private:
    const ChangeNotifier& notifier;
    T current;
};

} // namespace corvane
