#include "base/EventSource.h"

#include <algorithm>

namespace tallyhawk {

CEventSource::~CEventSource() {
    CLockGuard guard(&lock);
    for (Subscription& subscription : subscriptions) {
        if (subscription.sink) subscription.sink->ForgetSource(this);
        subscription.sink = nullptr;
    }
    subscriptions.clear();
}

void CEventSource::Add(CEventSink* sink, void* receiver, const Callback& callback) {
    CLockGuard guard(&lock);
    for (const Subscription& subscription : subscriptions) {
        if (subscription.sink == sink && subscription.callback == callback) return;
    }
    subscriptions.push_back({sink, receiver, callback});
    sink->RememberSource(this);
}

void CEventSource::Remove(CEventSink* sink, const Callback* callback) {
    CLockGuard guard(&lock);
    // The sink keeps one entry per subscription, so it forgets this source once
    // for every record that ends here: a sink that drops one of two callbacks
    // must still know about the other, or its destruction would leave a record
    // pointing at a destroyed receiver.
    for (auto it = subscriptions.begin(); it != subscriptions.end();) {
        if (it->sink != sink || (callback && !(it->callback == *callback))) {
            ++it;
            continue;
        }
        sink->ForgetSource(this);
        if (depth != 0) {
            // An announcement may still walk over this record: only mark it.
            it->sink = nullptr;
            ++it;
        } else {
            it = subscriptions.erase(it);
        }
    }
}

void CEventSource::Announce(void* event) {
    CLockGuard guard(&lock);
    struct DepthScope {
        CEventSource* source;
        explicit DepthScope(CEventSource* source) : source(source) { ++source->depth; }
        ~DepthScope() {
            if (--source->depth == 0) source->SweepDead();
        }
    } scope(this);

    // Index walk over copies: a callback may append (and so reallocate) while
    // it runs.
    for (std::size_t i = 0; i < subscriptions.size(); ++i) {
        const Subscription subscription = subscriptions[i];
        if (!subscription.sink) continue;
        if (!subscription.callback.invoke(subscription.receiver, subscription.callback, event))
            break;
    }
}

void CEventSource::SweepDead() {
    std::erase_if(subscriptions, [](const Subscription& s) { return s.sink == nullptr; });
}

std::size_t CEventSource::CountSubscriptions() const {
    CLockGuard guard(&lock);
    return static_cast<std::size_t>(std::count_if(subscriptions.begin(), subscriptions.end(),
                                                  [](const Subscription& s) { return s.sink; }));
}

CEventSink::~CEventSink() { UnsubscribeAll(); }

void CEventSink::UnsubscribeAll() {
    std::vector<CEventSource*> copy;
    {
        CLockGuard guard(&lock);
        copy = sources;
    }
    // The sink's lock is released before the sources are called: they take
    // their own lock first and then this one, and holding ours across that
    // call would take the two in the opposite order.
    std::sort(copy.begin(), copy.end());
    copy.erase(std::unique(copy.begin(), copy.end()), copy.end());
    for (CEventSource* source : copy) source->Unsubscribe(this);
}

void CEventSink::RememberSource(CEventSource* source) {
    CLockGuard guard(&lock);
    sources.push_back(source);
}

void CEventSink::ForgetSource(CEventSource* source) {
    CLockGuard guard(&lock);
    auto it = std::find(sources.begin(), sources.end(), source);
    if (it != sources.end()) sources.erase(it);
}

std::size_t CEventSink::CountSources() const {
    CLockGuard guard(&lock);
    return sources.size();
}

}  // namespace tallyhawk
