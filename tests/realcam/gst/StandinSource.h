#pragma once

#include <gst/gst.h>

// lentaviostandinsrc: the video source of a stand-in camera, a bin that Qt's
// camera back-end puts where a V4L2 source would go. Qt sets its "device"
// property; from the stand-in of that name it builds a live source of the
// stand-in's picture behind a caps filter of the sizes, rates and formats
// the stand-in offers. It opens the device as a driver's source would (the
// preloaded stand-in library answers), so a device that is gone, busy or
// failing fails here with the message such a source posts; frames stop with
// an error when the stand-in is unplugged or its frame budget runs out.
// GStreamer threads; owned by the pipeline that Qt builds.
G_BEGIN_DECLS

#define LENTAVIO_TYPE_STANDIN_SOURCE (lentavio_standin_source_get_type())
G_DECLARE_FINAL_TYPE(LentavioStandinSource, lentavio_standin_source, LENTAVIO, STANDIN_SOURCE, GstBin)

G_END_DECLS
