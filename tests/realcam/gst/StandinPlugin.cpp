// The test-only GStreamer plugin that registers the stand-in camera source.

#include "StandinSource.h"

#define PACKAGE "lentavio-tests"
#define VERSION "1.0"

namespace
{
gboolean Register(GstPlugin* plugin)
{
    return gst_element_register(plugin, "lentaviostandinsrc", GST_RANK_NONE, LENTAVIO_TYPE_STANDIN_SOURCE);
}
} // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, lentaviostandin, "Stand-in cameras for Lentavio's tests",
                  Register, VERSION, "unknown", PACKAGE, "https://invalid.example/lentavio")
