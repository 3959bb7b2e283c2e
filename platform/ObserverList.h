// The observers of a platform service, told of each change through the run loop.
#pragma once

#include "platform/RunLoop.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace uvccam::platform {

// The seam's rule for notifications, kept in one place for every backend: a change is
// announced asynchronously on the run loop, to the observers registered when it happened
// that are still registered when the announcement runs. An observer may remove itself or
// another while it is called, and announcements still queued when the list goes are
// dropped.
template <typename Callback>
class ObserverList {
public:
    using Id = std::uint64_t;

    Id add(Callback callback)
    {
        const Id id = state_->nextId++;
        state_->byId.emplace(id, std::move(callback));
        return id;
    }

    void remove(Id id) { state_->byId.erase(id); }

    // Queues `deliver(observer)` for every observer registered now.
    template <typename Deliver>
    void post(RunLoop& runLoop, Deliver deliver) const
    {
        if (state_->byId.empty())
            return;
        std::vector<Id> recipients;
        for (const auto& entry : state_->byId)
            recipients.push_back(entry.first);
        std::weak_ptr<State> weakState = state_;
        runLoop.dispatchAfter(Duration::zero(), [weakState, recipients, deliver] {
            for (const Id id : recipients) {
                const auto state = weakState.lock();
                if (!state)
                    return;
                const auto found = state->byId.find(id);
                if (found == state->byId.end())
                    continue;
                const Callback observer = found->second;  // survives its own removal
                deliver(observer);
            }
        });
    }

private:
    struct State {
        std::map<Id, Callback> byId;
        Id nextId = 1;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace uvccam::platform
