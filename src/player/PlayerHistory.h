#pragma once

struct MediaEntry;

// Where a player notes what was watched. The watch history sits above the player,
// so wiring code sets the real one at start-up; until then notes go nowhere.
class PlayerHistory
{
public:
    virtual ~PlayerHistory() = default;
    virtual void note(const MediaEntry &entry, double seconds, double duration) = 0;

    // Never null: a history that drops every note until set() is called.
    static PlayerHistory &current();
    // Not owned; null restores the default.
    static void set(PlayerHistory *history);
};
