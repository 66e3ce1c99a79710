#pragma once

#include <atomic>
#include <cstdint>

#include "core/ChannelNames.h"
#include "core/StatePage.h"
#include "ui/CrossThreadGate.h"
#include "ui/PageDialog.h"

// Page 2, the live state of the current RTU and the history of one of its channels. Its channel names
// are loaded once, when the page is created.
//
// Threads: PostCommand from any thread (it only queues the command); everything else on the
// user-interface thread.
class CPageRtuState final : public CPageDialog, public IStatePage {
public:
    static constexpr int kTemplateId = 130;

    explicit CPageRtuState(QWidget* parent);

    void PostCommand(std::uint32_t commandId) override;
    // Refuses further posts from workers and waits until those under way are queued.
    void Detach() { gate.Close(); }

    void OnCommand(int commandId) override;

    const ChannelNames& Names() const { return names; }
    // Refresh commands handled so far.
    int RefreshCount() const { return refreshCount; }

private:
    ChannelNames names;
    CrossThreadGate gate;
    int refreshCount = 0;
};
