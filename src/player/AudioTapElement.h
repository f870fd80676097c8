#pragma once

#include <memory>

typedef struct _GstElement GstElement;
class PlayerAudioEffects;

// "zmaudiotap": an in-place GStreamer filter that hands every buffer of
// interleaved 32-bit float audio to a PlayerAudioTap; other formats pass through.
namespace AudioTapElement {

// Registers the element factory "zmaudiotap" with GStreamer (once; thread-safe).
void registerElement();
// A new element reading its settings from `effects`.
GstElement *create(std::shared_ptr<PlayerAudioEffects> effects);
// Points an existing "zmaudiotap" element at `effects`.
void setEffects(GstElement *element, std::shared_ptr<PlayerAudioEffects> effects);

} // namespace AudioTapElement
