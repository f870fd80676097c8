#include "player/PlayerHistory.h"

namespace {
class NoHistory final : public PlayerHistory
{
public:
    void note(const MediaEntry &, double, double) override {}
};

NoHistory s_none;
PlayerHistory *s_current = nullptr;
} // namespace

PlayerHistory &PlayerHistory::current()
{
    return s_current ? *s_current : static_cast<PlayerHistory &>(s_none);
}

void PlayerHistory::set(PlayerHistory *history)
{
    s_current = history;
}
