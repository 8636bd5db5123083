// Thread-safe notifications: a CEventSource announces events to its
// subscriptions in subscription order; a CEventSink remembers the sources it
// is subscribed to, so that whichever side is destroyed first cleans up the
// other.
//
// A subscription is (sink, receiver, callback): `callback` is a member
// function of the receiver, `bool Receiver::Callback(Event*)`, and `sink` is
// the receiver's CEventSink part (usually the receiver itself). What an event
// points to is each source's own contract; the callback's Event type must be
// the type the source announces.
//
// Announcements run on the announcing thread while the source's lock is held.
// A callback may announce on another source and may subscribe or unsubscribe
// on the announcing source (the lock is re-entrant and removals are deferred
// until the outermost announcement ends). It must not wait for a thread that
// is itself waiting to announce on the same source.
//
// Lock order: a source's lock before a sink's lock. A sink must not be
// destroyed on one thread while one of its sources is destroyed on another;
// owners destroy the two sides on one thread or in a known order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "base/Lock.h"

namespace tallyhawk {

class CEventSink;

class CEventSource {
public:
    CEventSource() = default;
    CEventSource(const CEventSource&) = delete;
    CEventSource& operator=(const CEventSource&) = delete;
    // Makes every subscribed sink forget this source and frees the records.
    virtual ~CEventSource();

    // Adds a subscription at the end, unless the same sink is already
    // subscribed with the same callback. A subscriber may subscribe with
    // several callbacks.
    template <class Receiver, class Event>
    void Subscribe(CEventSink* sink, Receiver* receiver, bool (Receiver::*callback)(Event*)) {
        Add(sink, receiver, MakeCallback(callback));
    }
    template <class Receiver, class Event>
    void Subscribe(Receiver* receiver, bool (Receiver::*callback)(Event*)) {
        Subscribe(static_cast<CEventSink*>(receiver), receiver, callback);
    }

    // Removes the sink's subscriptions with this callback.
    template <class Receiver, class Event>
    void Unsubscribe(CEventSink* sink, bool (Receiver::*callback)(Event*)) {
        const Callback wanted = MakeCallback(callback);
        Remove(sink, &wanted);
    }
    // Removes every subscription of the sink.
    void Unsubscribe(CEventSink* sink) { Remove(sink, nullptr); }

    // Calls every live subscription's callback with `event`, in subscription
    // order, until one returns false. Subscriptions added during the walk are
    // reached by it; ones removed during it are not called. An exception from
    // a callback ends the announcement and leaves this function.
    void Announce(void* event);

    // Number of live subscriptions (those not removed or marked for removal).
    std::size_t CountSubscriptions() const;

private:
    // A type-erased member callback: its bytes identify it, `invoke` calls it.
    struct Callback {
        static constexpr std::size_t kSize = 2 * sizeof(void*) + sizeof(std::ptrdiff_t);
        bool (*invoke)(void* receiver, const Callback& callback, void* event);
        unsigned char member[kSize];
        bool operator==(const Callback& other) const {
            return invoke == other.invoke && std::memcmp(member, other.member, kSize) == 0;
        }
    };

    // `sink` is null once the record is dead (removed during an announcement).
    struct Subscription {
        CEventSink* sink;
        void* receiver;
        Callback callback;
    };

    template <class Receiver, class Event>
    static bool Invoke(void* receiver, const Callback& callback, void* event) {
        bool (Receiver::*member)(Event*);
        std::memcpy(&member, callback.member, sizeof member);
        return (static_cast<Receiver*>(receiver)->*member)(static_cast<Event*>(event));
    }

    template <class Receiver, class Event>
    static Callback MakeCallback(bool (Receiver::*member)(Event*)) {
        static_assert(sizeof member <= Callback::kSize, "member callback too large");
        Callback callback{&Invoke<Receiver, Event>, {}};
        std::memcpy(callback.member, &member, sizeof member);
        return callback;
    }

    void Add(CEventSink* sink, void* receiver, const Callback& callback);
    void Remove(CEventSink* sink, const Callback* callback);
    void SweepDead();

    mutable CCriticalSectionLock lock;
    std::vector<Subscription> subscriptions;  // guarded by lock
    std::int32_t depth = 0;                   // guarded by lock: announcements in progress
};

class CEventSink {
public:
    CEventSink() = default;
    CEventSink(const CEventSink&) = delete;
    CEventSink& operator=(const CEventSink&) = delete;
    // Ends all subscriptions. A subscriber that can be called on another
    // thread calls UnsubscribeAll in its own destructor first, so that no
    // callback reaches its already destroyed members.
    virtual ~CEventSink();

    // Unsubscribes from every source this sink is subscribed to.
    void UnsubscribeAll();

    // Number of subscriptions this sink holds, counted on its side.
    std::size_t CountSources() const;

private:
    friend class CEventSource;
    // One entry per subscription.
    void RememberSource(CEventSource* source);
    // Drops one entry for `source`, one per ended subscription.
    void ForgetSource(CEventSource* source);

    mutable CCriticalSectionLock lock;
    std::vector<CEventSource*> sources;  // guarded by lock
};

}  // namespace tallyhawk
