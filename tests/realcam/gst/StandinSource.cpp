#include "StandinSource.h"

#include "StandinTable.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

struct _LentavioStandinSource
{
    GstBin Parent;
    GstPad* Ghost;
    gchar* Device;
    StandinTable::Standin* Standin;
    int Descriptor;
    GstElement* Inner;
    // Frames sent since the stream started; touched only on the streaming thread.
    gint64 Frames;
    gboolean Failed;
};

G_DEFINE_TYPE(LentavioStandinSource, lentavio_standin_source, GST_TYPE_BIN)

namespace
{
enum
{
    kPropertyDevice = 1,
};

constexpr guint8 kPlate[4] = {110, 160, 205, 255}; // B, G, R, x: a warm light plate
constexpr guint8 kDisc[4] = {30, 26, 22, 255};

std::string CapsText(const StandinTable::Standin& standin)
{
    std::string formats;
    for (const std::string& format : standin.Formats)
        formats += (formats.empty() ? "" : ",") + format;
    std::string rates;
    if (standin.RateRange) {
        rates = "[" + std::to_string(standin.Rates.front()) + "/1," + std::to_string(standin.Rates.back()) + "/1]";
    } else {
        for (int rate : standin.Rates)
            rates += (rates.empty() ? "" : ",") + std::to_string(rate) + "/1";
        rates = "{" + rates + "}";
    }
    std::string caps;
    for (const StandinTable::Size& size : standin.Sizes)
        caps += (caps.empty() ? "" : ";") + std::string("video/x-raw,format=(string){") + formats +
                "},width=" + std::to_string(size.Width) + ",height=" + std::to_string(size.Height) +
                ",framerate=(fraction)" + rates + ",pixel-aspect-ratio=1/1";
    return caps;
}

// The stand-in's still picture in its first size, BGRx: a plate with one
// dark disc, for the hole detector to find.
GstBuffer* DiscPicture(const StandinTable::Standin& standin)
{
    const int width = standin.Sizes.front().Width;
    const int height = standin.Sizes.front().Height;
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, gsize(width) * height * 4, nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    const double cx = standin.DiscX * width;
    const double cy = standin.DiscY * height;
    const double r = standin.DiscR * height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool inside = std::hypot(x + 0.5 - cx, y + 0.5 - cy) <= r;
            std::memcpy(map.data + (gsize(y) * width + x) * 4, inside ? kDisc : kPlate, 4);
        }
    gst_buffer_unmap(buffer, &map);
    return buffer;
}

void PostError(LentavioStandinSource* self, GQuark domain, gint code, const std::string& text)
{
    gst_element_message_full(GST_ELEMENT(self), GST_MESSAGE_ERROR, domain, code, g_strdup(text.c_str()), nullptr,
                             __FILE__, GST_FUNCTION, __LINE__);
}

std::string Quoted(const LentavioStandinSource* self)
{
    return std::string("'") + (self->Device ? self->Device : "") + "'";
}

GstPadProbeReturn OnFrame(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    auto* self = static_cast<LentavioStandinSource*>(data);
    if (self->Failed) {
        gst_buffer_unref(GST_PAD_PROBE_INFO_BUFFER(info));
        GST_PAD_PROBE_INFO_FLOW_RETURN(info) = GST_FLOW_ERROR;
        return GST_PAD_PROBE_HANDLED;
    }
    int input = 0;
    const bool unplugged = ioctl(self->Descriptor, VIDIOC_G_INPUT, &input) != 0;
    const bool spent = self->Standin->FailAfter >= 0 && self->Frames >= self->Standin->FailAfter;
    if (unplugged || spent) {
        self->Failed = TRUE;
        PostError(self, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ,
                  unplugged ? "Could not read from resource: device " + Quoted(self) + " was unplugged"
                            : "Could not read from resource " + Quoted(self));
        gst_buffer_unref(GST_PAD_PROBE_INFO_BUFFER(info));
        GST_PAD_PROBE_INFO_FLOW_RETURN(info) = GST_FLOW_ERROR;
        return GST_PAD_PROBE_HANDLED;
    }
    ++self->Frames;
    if (self->Standin->WrongSize) {
        // Half the bytes the negotiated caps promise, as a driver that
        // switched sizes under its client's feet would deliver.
        GstBuffer* frame = GST_PAD_PROBE_INFO_BUFFER(info);
        const gsize bytes = gst_buffer_get_size(frame) / 2;
        GstBuffer* shorter = gst_buffer_copy_region(frame, GST_BUFFER_COPY_ALL, 0, bytes);
        gst_buffer_unref(frame);
        GST_PAD_PROBE_INFO_DATA(info) = shorter;
    }
    return GST_PAD_PROBE_OK;
}

// A rate the stand-in offers and then cannot deliver fails the
// negotiation, as such a driver's source does.
GstPadProbeReturn OnCaps(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    auto* self = static_cast<LentavioStandinSource*>(data);
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS || self->Standin->Refuse < 0)
        return GST_PAD_PROBE_OK;
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    gint numerator = 0, denominator = 1;
    if (!gst_structure_get_fraction(gst_caps_get_structure(caps, 0), "framerate", &numerator, &denominator) ||
        numerator != self->Standin->Refuse * denominator)
        return GST_PAD_PROBE_OK;
    PostError(self, GST_STREAM_ERROR, GST_STREAM_ERROR_FORMAT,
              "Device " + Quoted(self) + " cannot capture at " + std::to_string(self->Standin->Refuse) + " fps");
    return GST_PAD_PROBE_DROP;
}

// The stand-in's live source behind its caps: a test pattern, or the disc
// picture repeated at the negotiated rate.
GstElement* BuildInner(LentavioStandinSource* self)
{
    const StandinTable::Standin& standin = *self->Standin;
    const std::string head = standin.Picture == "disc"
                                 ? "appsrc name=picture ! imagefreeze is-live=true"
                                 : "videotestsrc is-live=true pattern=" + standin.Picture;
    const std::string description =
        head + " ! videoconvert ! videoscale ! capsfilter name=offered caps=\"" + CapsText(standin) + "\"";
    GError* error = nullptr;
    GstElement* inner = gst_parse_bin_from_description(description.c_str(), FALSE, &error);
    if (!inner) {
        g_warning("stand-in source %s: %s", description.c_str(), error ? error->message : "");
        g_clear_error(&error);
        return nullptr;
    }
    if (GstElement* picture = gst_bin_get_by_name(GST_BIN(inner), "picture")) {
        const StandinTable::Size size = standin.Sizes.front();
        GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width", G_TYPE_INT,
                                            size.Width, "height", G_TYPE_INT, size.Height, "framerate",
                                            GST_TYPE_FRACTION, 0, 1, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1,
                                            nullptr);
        g_object_set(picture, "caps", caps, "format", GST_FORMAT_TIME, nullptr);
        gst_caps_unref(caps);
        GstFlowReturn flow = GST_FLOW_OK;
        GstBuffer* buffer = DiscPicture(standin);
        g_signal_emit_by_name(picture, "push-buffer", buffer, &flow);
        gst_buffer_unref(buffer);
        g_signal_emit_by_name(picture, "end-of-stream", &flow);
        gst_object_unref(picture);
    }
    GstElement* offered = gst_bin_get_by_name(GST_BIN(inner), "offered");
    GstPad* pad = gst_element_get_static_pad(offered, "src");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, OnFrame, self, nullptr);
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, OnCaps, self, nullptr);
    GstPad* innerGhost = gst_ghost_pad_new("src", pad);
    gst_element_add_pad(inner, innerGhost);
    gst_object_unref(pad);
    gst_object_unref(offered);
    return inner;
}

void SetDevice(LentavioStandinSource* self, const gchar* device)
{
    if (self->Inner)
        return; // The source is built once, for the device Qt gives first.
    g_free(self->Device);
    self->Device = g_strdup(device);
    StandinTable table;
    table.Refresh();
    const StandinTable::Standin* standin = table.Find(device ? device : "");
    delete self->Standin;
    self->Standin = new StandinTable::Standin(standin ? *standin : StandinTable::Parse(""));
    self->Inner = BuildInner(self);
    if (!self->Inner)
        return;
    gst_bin_add(GST_BIN(self), self->Inner);
    GstPad* pad = gst_element_get_static_pad(self->Inner, "src");
    gst_ghost_pad_set_target(GST_GHOST_PAD(self->Ghost), pad);
    gst_object_unref(pad);
}

// Opening and starting fail the way a V4L2 source reports it.
gboolean OpenDevice(LentavioStandinSource* self)
{
    self->Descriptor = open(self->Device ? self->Device : "", O_RDWR);
    if (self->Descriptor < 0) {
        if (errno == ENOENT)
            PostError(self, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_FOUND,
                      "Cannot identify device " + Quoted(self) + ".");
        else
            PostError(self, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_OPEN_READ_WRITE,
                      "Could not open device " + Quoted(self) + " for reading and writing.");
        return FALSE;
    }
    return TRUE;
}

gboolean StartStreaming(LentavioStandinSource* self)
{
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (ioctl(self->Descriptor, VIDIOC_STREAMON, &type) == 0)
        return TRUE;
    if (errno == EBUSY)
        PostError(self, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_BUSY, "Device " + Quoted(self) + " is busy");
    else
        PostError(self, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_FAILED,
                  "Error starting streaming on device " + Quoted(self) + ".");
    return FALSE;
}

GstStateChangeReturn ChangeState(GstElement* element, GstStateChange transition)
{
    auto* self = LENTAVIO_STANDIN_SOURCE(element);
    switch (transition) {
    case GST_STATE_CHANGE_NULL_TO_READY:
        if (!self->Inner || !OpenDevice(self))
            return GST_STATE_CHANGE_FAILURE;
        break;
    case GST_STATE_CHANGE_READY_TO_PAUSED:
        self->Frames = 0;
        self->Failed = FALSE;
        if (!StartStreaming(self))
            return GST_STATE_CHANGE_FAILURE;
        break;
    default:
        break;
    }
    const GstStateChangeReturn result =
        GST_ELEMENT_CLASS(lentavio_standin_source_parent_class)->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_READY_TO_NULL && self->Descriptor >= 0) {
        close(self->Descriptor);
        self->Descriptor = -1;
    }
    return result;
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    if (id == kPropertyDevice)
        SetDevice(LENTAVIO_STANDIN_SOURCE(object), g_value_get_string(value));
    else
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec)
{
    if (id == kPropertyDevice)
        g_value_set_string(value, LENTAVIO_STANDIN_SOURCE(object)->Device);
    else
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

void Finalize(GObject* object)
{
    auto* self = LENTAVIO_STANDIN_SOURCE(object);
    if (self->Descriptor >= 0)
        close(self->Descriptor);
    g_free(self->Device);
    delete self->Standin;
    G_OBJECT_CLASS(lentavio_standin_source_parent_class)->finalize(object);
}

GstStaticPadTemplate kSourceTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("video/x-raw"));
} // namespace

static void lentavio_standin_source_class_init(LentavioStandinSourceClass* klass)
{
    GObjectClass* objectClass = G_OBJECT_CLASS(klass);
    objectClass->set_property = SetProperty;
    objectClass->get_property = GetProperty;
    objectClass->finalize = Finalize;
    g_object_class_install_property(
        objectClass, kPropertyDevice,
        g_param_spec_string("device", "Device", "The stand-in camera's device path", nullptr,
                            GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    elementClass->change_state = ChangeState;
    gst_element_class_add_static_pad_template(elementClass, &kSourceTemplate);
    gst_element_class_set_static_metadata(elementClass, "Stand-in camera source", "Source/Video",
                                          "A test camera's live picture", "Lentavio tests");
}

static void lentavio_standin_source_init(LentavioStandinSource* self)
{
    self->Descriptor = -1;
    GstPadTemplate* pattern = gst_static_pad_template_get(&kSourceTemplate);
    self->Ghost = gst_ghost_pad_new_no_target_from_template("src", pattern);
    gst_object_unref(pattern);
    gst_element_add_pad(GST_ELEMENT(self), self->Ghost);
}
