#include "player/AudioTapElement.h"

#include "player/PlayerAudioEffects.h"
#include "player/PlayerAudioTap.h"

#include <gst/audio/audio.h>
#include <gst/base/gstbasetransform.h>

#include <mutex>

namespace {

struct ZmAudioTap
{
    GstBaseTransform parent;
    // C++ members live behind a pointer: GObject allocates the struct with calloc.
    struct State
    {
        std::shared_ptr<PlayerAudioEffects> effects;
        std::unique_ptr<PlayerAudioTap> tap;
        int channels = 0;
    } *state;
};

struct ZmAudioTapClass
{
    GstBaseTransformClass parent_class;
};

GType zm_audio_tap_get_type();
G_DEFINE_TYPE(ZmAudioTap, zm_audio_tap, GST_TYPE_BASE_TRANSFORM)

ZmAudioTap *asTap(gpointer object)
{
    return G_TYPE_CHECK_INSTANCE_CAST(object, zm_audio_tap_get_type(), ZmAudioTap);
}

gboolean setCaps(GstBaseTransform *base, GstCaps *incaps, GstCaps *)
{
    ZmAudioTap *self = asTap(base);
    GstAudioInfo info;
    if (!gst_audio_info_from_caps(&info, incaps))
        return FALSE;
    const bool usable = GST_AUDIO_INFO_FORMAT(&info) == GST_AUDIO_FORMAT_F32
                        && GST_AUDIO_INFO_LAYOUT(&info) == GST_AUDIO_LAYOUT_INTERLEAVED;
    GST_OBJECT_LOCK(self);
    auto *state = self->state;
    state->tap = std::make_unique<PlayerAudioTap>(state->effects);
    state->tap->prepare(GST_AUDIO_INFO_RATE(&info), usable);
    state->channels = GST_AUDIO_INFO_CHANNELS(&info);
    GST_OBJECT_UNLOCK(self);
    // Formats the tap cannot read go through untouched, without even a map.
    gst_base_transform_set_passthrough(base, !usable);
    return TRUE;
}

GstFlowReturn transformInPlace(GstBaseTransform *base, GstBuffer *buffer)
{
    auto *state = asTap(base)->state;
    if (!state->tap || !state->tap->usable() || state->channels <= 0)
        return GST_FLOW_OK;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READWRITE))
        return GST_FLOW_OK;
    PlayerAudioTap::Buffer one{reinterpret_cast<float *>(map.data), qsizetype(map.size),
                               state->channels};
    state->tap->process(std::span<PlayerAudioTap::Buffer>(&one, 1));
    gst_buffer_unmap(buffer, &map);
    return GST_FLOW_OK;
}

gboolean stop(GstBaseTransform *base)
{
    ZmAudioTap *self = asTap(base);
    GST_OBJECT_LOCK(self);
    self->state->tap.reset();
    self->state->channels = 0;
    GST_OBJECT_UNLOCK(self);
    return TRUE;
}

void finalize(GObject *object)
{
    delete asTap(object)->state;
    G_OBJECT_CLASS(zm_audio_tap_parent_class)->finalize(object);
}

void zm_audio_tap_class_init(ZmAudioTapClass *klass)
{
    auto *objectClass = G_OBJECT_CLASS(klass);
    auto *elementClass = GST_ELEMENT_CLASS(klass);
    auto *baseClass = GST_BASE_TRANSFORM_CLASS(klass);
    objectClass->finalize = finalize;

    static GstStaticPadTemplate sinkTemplate =
        GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS("audio/x-raw"));
    static GstStaticPadTemplate srcTemplate =
        GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("audio/x-raw"));
    gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
    gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
    gst_element_class_set_static_metadata(elementClass, "Zentrova audio tap", "Filter/Effect/Audio",
                                          "Boost and ten-band equalizer of the media player",
                                          "Zentrova Media");
    baseClass->set_caps = setCaps;
    baseClass->transform_ip = transformInPlace;
    baseClass->stop = stop;
    baseClass->passthrough_on_same_caps = FALSE;
}

void zm_audio_tap_init(ZmAudioTap *self)
{
    self->state = new ZmAudioTap::State;
    gst_base_transform_set_in_place(GST_BASE_TRANSFORM(self), TRUE);
}

} // namespace

namespace AudioTapElement {

void registerElement()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gst_element_register(nullptr, "zmaudiotap", GST_RANK_NONE, zm_audio_tap_get_type());
    });
}

GstElement *create(std::shared_ptr<PlayerAudioEffects> effects)
{
    registerElement();
    GstElement *element = gst_element_factory_make("zmaudiotap", nullptr);
    if (element)
        setEffects(element, std::move(effects));
    return element;
}

void setEffects(GstElement *element, std::shared_ptr<PlayerAudioEffects> effects)
{
    ZmAudioTap *self = asTap(element);
    GST_OBJECT_LOCK(self);
    self->state->effects = std::move(effects);
    GST_OBJECT_UNLOCK(self);
}

} // namespace AudioTapElement
