#include "ChangeNotifier.h"

#include <algorithm>

namespace corvane {

ChangeNotifier::Subscription ChangeNotifier::subscribe(Observer observer) {
    const Subscription subscription = nextSubscription++;
    entries.push_back({subscription, std::move(observer)});
    return subscription;
}

void ChangeNotifier::unsubscribe(Subscription subscription) {
    std::erase_if(
        entries, [subscription](const Entry& entry) { return entry.subscription == subscription; });
}

void ChangeNotifier::notify() const {
    // An observer may unsubscribe while it is told; work on a snapshot.
    const std::vector<Entry> snapshot = entries;
    for (const Entry& entry : snapshot)
        entry.observer();
}

} // namespace corvane
