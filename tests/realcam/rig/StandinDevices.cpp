#include "StandinDevices.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <linux/videodev2.h>
#include <sys/mman.h>
#include <unistd.h>

namespace
{
struct ControlKind
{
    const char* Name;
    unsigned Id;
    v4l2_ctrl_type Type;
    std::vector<const char*> Menu;
};

// The controls a stand-in may have, in the kernel's id order so that
// enumeration with V4L2_CTRL_FLAG_NEXT_CTRL walks them as a driver would.
const std::vector<ControlKind>& Kinds()
{
    static const std::vector<ControlKind> kinds = {
        {"brightness", V4L2_CID_BRIGHTNESS, V4L2_CTRL_TYPE_INTEGER, {}},
        {"contrast", V4L2_CID_CONTRAST, V4L2_CTRL_TYPE_INTEGER, {}},
        {"saturation", V4L2_CID_SATURATION, V4L2_CTRL_TYPE_INTEGER, {}},
        {"hue", V4L2_CID_HUE, V4L2_CTRL_TYPE_INTEGER, {}},
        {"white_balance_automatic", V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CTRL_TYPE_BOOLEAN, {}},
        {"gamma", V4L2_CID_GAMMA, V4L2_CTRL_TYPE_INTEGER, {}},
        {"gain", V4L2_CID_GAIN, V4L2_CTRL_TYPE_INTEGER, {}},
        {"power_line_frequency", V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CTRL_TYPE_MENU,
         {"Disabled", "50 Hz", "60 Hz", "Auto"}},
        {"white_balance_temperature", V4L2_CID_WHITE_BALANCE_TEMPERATURE, V4L2_CTRL_TYPE_INTEGER, {}},
        {"sharpness", V4L2_CID_SHARPNESS, V4L2_CTRL_TYPE_INTEGER, {}},
        {"backlight_compensation", V4L2_CID_BACKLIGHT_COMPENSATION, V4L2_CTRL_TYPE_INTEGER, {}},
        {"exposure_auto", V4L2_CID_EXPOSURE_AUTO, V4L2_CTRL_TYPE_MENU,
         {"Auto Mode", "Manual Mode", "Shutter Priority Mode", "Aperture Priority Mode"}},
        {"exposure_absolute", V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CTRL_TYPE_INTEGER, {}},
        {"focus_absolute", V4L2_CID_FOCUS_ABSOLUTE, V4L2_CTRL_TYPE_INTEGER, {}},
        {"focus_auto", V4L2_CID_FOCUS_AUTO, V4L2_CTRL_TYPE_BOOLEAN, {}},
    };
    return kinds;
}

const ControlKind* KindById(unsigned id)
{
    for (const ControlKind& kind : Kinds())
        if (kind.Id == id)
            return &kind;
    return nullptr;
}

// A name filled to the last byte, no terminator, with bytes that are no
// text in any encoding: what a broken driver may hand out.
template <size_t N>
void FillNonsense(unsigned char (&field)[N])
{
    for (size_t i = 0; i < N; ++i)
        field[i] = static_cast<unsigned char>(0x80 + (i * 37) % 128);
}

template <size_t N>
void CopyName(unsigned char (&field)[N], const std::string& text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

template <size_t N>
void CopyName(char (&field)[N], const std::string& text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

void Log(const std::string& device, const char* name, int value, const char* result)
{
    const char* path = std::getenv("LENTAVIO_STANDIN_LOG");
    if (!path)
        return;
    if (FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "%s\t%s\t%d\t%s\n", device.c_str(), name, value, result);
        std::fclose(file);
    }
}
} // namespace

StandinDevices& StandinDevices::Instance()
{
    // Never destroyed: interposed calls keep coming while the process exits.
    static StandinDevices* devices = new StandinDevices;
    return *devices;
}

bool StandinDevices::IsStandinPath(const char* path)
{
    return path && std::strncmp(path, "/dev/video", 10) == 0;
}

bool StandinDevices::IsDevDirectory(const char* path)
{
    return path && (std::strcmp(path, "/dev") == 0 || std::strcmp(path, "/dev/") == 0);
}

bool StandinDevices::IsPresent(const std::string& device)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return PresentStandin(device) != nullptr;
}

const StandinTable::Standin* StandinDevices::PresentStandin(const std::string& device)
{
    m_Table.Refresh();
    const StandinTable::Standin* standin = m_Table.Find(device);
    if (!standin || standin->Gone || m_Vanished.count(device))
        return nullptr;
    return standin;
}

int StandinDevices::Open(const std::string& device, bool& known)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Table.Refresh();
    known = m_Table.Find(device) != nullptr;
    if (!PresentStandin(device)) {
        errno = ENOENT;
        return -1;
    }
    // A descriptor of our own that names nothing on any file system.
    const int fd = memfd_create("lentavio-standin", MFD_CLOEXEC);
    if (fd >= 0)
        m_Descriptors[fd] = device;
    return fd;
}

bool StandinDevices::Close(int fd)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    const auto found = m_Descriptors.find(fd);
    if (found == m_Descriptors.end())
        return false;
    const StandinTable::Standin* standin = m_Table.Find(found->second);
    // Seen once by whoever listed it, then gone before anyone can use it.
    if (standin && standin->Vanish)
        m_Vanished.insert(found->second);
    m_Descriptors.erase(found);
    return true;
}

bool StandinDevices::IsStandinDescriptor(int fd)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Descriptors.count(fd) != 0;
}

int StandinDevices::Ioctl(int fd, unsigned long request, void* argument)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    const auto found = m_Descriptors.find(fd);
    if (found == m_Descriptors.end()) {
        errno = EBADF;
        return -1;
    }
    const StandinTable::Standin* standin = PresentStandin(found->second);
    if (!standin) {
        errno = ENODEV;
        return -1;
    }
    if (!argument) {
        errno = EFAULT;
        return -1;
    }
    return Query(*standin, request, argument);
}

int StandinDevices::Query(const StandinTable::Standin& standin, unsigned long request, void* argument)
{
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto* caps = static_cast<v4l2_capability*>(argument);
        std::memset(caps, 0, sizeof *caps);
        CopyName(caps->driver, standin.Driver);
        CopyName(caps->card, standin.Card);
        CopyName(caps->bus_info, "platform:" + standin.Device);
        if (standin.Nonsense) {
            FillNonsense(caps->driver);
            FillNonsense(caps->card);
            FillNonsense(caps->bus_info);
        }
        caps->version = 0x060100;
        caps->device_caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
        caps->capabilities = caps->device_caps | V4L2_CAP_DEVICE_CAPS;
        return 0;
    }
    case VIDIOC_ENUMINPUT: {
        auto* input = static_cast<v4l2_input*>(argument);
        if (input->index != 0) {
            errno = EINVAL;
            return -1;
        }
        const unsigned index = input->index;
        std::memset(input, 0, sizeof *input);
        input->index = index;
        CopyName(input->name, "Camera 1");
        input->type = V4L2_INPUT_TYPE_CAMERA;
        if (standin.Nonsense) {
            FillNonsense(input->name);
            input->type = 0;
            input->status = ~0u;
        }
        return 0;
    }
    case VIDIOC_G_INPUT:
        *static_cast<int*>(argument) = 0;
        return 0;
    case VIDIOC_S_INPUT:
        if (standin.Nonsense) {
            errno = EBUSY;
            return -1;
        }
        if (*static_cast<int*>(argument) != 0) {
            errno = EINVAL;
            return -1;
        }
        return 0;
    case VIDIOC_STREAMON:
        if (standin.Busy || standin.StartFail) {
            errno = standin.Busy ? EBUSY : EIO;
            return -1;
        }
        return 0;
    case VIDIOC_STREAMOFF:
        return 0;
    case VIDIOC_QUERYCTRL: {
        auto* answer = static_cast<v4l2_queryctrl*>(argument);
        const unsigned next = answer->id & (V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
        return QueryControl(standin, answer->id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND),
                            next != 0, answer);
    }
    case VIDIOC_QUERY_EXT_CTRL:
        return QueryExtControl(standin, static_cast<v4l2_query_ext_ctrl*>(argument));
    case VIDIOC_QUERYMENU: {
        auto* item = static_cast<v4l2_querymenu*>(argument);
        const ControlKind* kind = KindById(item->id);
        const auto control = kind ? standin.Controls.find(kind->Name) : standin.Controls.end();
        if (control == standin.Controls.end() || kind->Menu.empty() || int(item->index) < control->second.Min ||
            int(item->index) > control->second.Max || item->index >= kind->Menu.size()) {
            errno = EINVAL;
            return -1;
        }
        std::memset(item->name, 0, sizeof item->name);
        std::strncpy(reinterpret_cast<char*>(item->name), kind->Menu[item->index], sizeof item->name - 1);
        item->reserved = 0;
        return 0;
    }
    case VIDIOC_G_CTRL: {
        auto* control = static_cast<v4l2_control*>(argument);
        return GetControl(standin, control->id, control->value);
    }
    case VIDIOC_S_CTRL: {
        auto* control = static_cast<v4l2_control*>(argument);
        const int result = SetControl(standin, control->id, control->value, false);
        if (result == 0)
            GetControl(standin, control->id, control->value);
        return result;
    }
    case VIDIOC_G_EXT_CTRLS:
    case VIDIOC_S_EXT_CTRLS:
    case VIDIOC_TRY_EXT_CTRLS:
        return ExtControls(standin, request, static_cast<v4l2_ext_controls*>(argument));
    default:
        errno = ENOTTY;
        return -1;
    }
}

int StandinDevices::QueryControl(const StandinTable::Standin& standin, unsigned id, bool next, v4l2_queryctrl* answer)
{
    for (const ControlKind& kind : Kinds()) {
        const bool wanted = next ? kind.Id > id : kind.Id == id;
        const auto control = standin.Controls.find(kind.Name);
        if (!wanted || control == standin.Controls.end())
            continue;
        std::memset(answer, 0, sizeof *answer);
        answer->id = kind.Id;
        answer->type = kind.Type;
        CopyName(answer->name, kind.Name);
        answer->minimum = control->second.Min;
        answer->maximum = control->second.Max;
        answer->step = control->second.Step;
        answer->default_value = control->second.Default;
        if (standin.Nonsense) {
            // Upside-down range, no step, a name without an end.
            std::swap(answer->minimum, answer->maximum);
            answer->step = 0;
            FillNonsense(answer->name);
        }
        return 0;
    }
    errno = EINVAL;
    return -1;
}

int StandinDevices::QueryExtControl(const StandinTable::Standin& standin, v4l2_query_ext_ctrl* answer)
{
    const unsigned flags = V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND;
    v4l2_queryctrl plain = {};
    if (QueryControl(standin, answer->id & ~flags, (answer->id & flags) != 0, &plain) != 0)
        return -1;
    std::memset(answer, 0, sizeof *answer);
    answer->id = plain.id;
    answer->type = plain.type;
    std::memcpy(answer->name, plain.name, sizeof answer->name);
    answer->minimum = plain.minimum;
    answer->maximum = plain.maximum;
    answer->step = plain.step;
    answer->default_value = plain.default_value;
    answer->elem_size = sizeof(int);
    answer->elems = 1;
    answer->nr_of_dims = 0;
    return 0;
}

int StandinDevices::GetControl(const StandinTable::Standin& standin, unsigned id, int& value)
{
    const ControlKind* kind = KindById(id);
    const auto control = kind ? standin.Controls.find(kind->Name) : standin.Controls.end();
    if (control == standin.Controls.end()) {
        errno = EINVAL;
        return -1;
    }
    const std::map<std::string, int>& values = m_Values[standin.Device];
    const auto current = values.find(kind->Name);
    value = current == values.end() ? control->second.Default : current->second;
    return 0;
}

int StandinDevices::SetControl(const StandinTable::Standin& standin, unsigned id, int value, bool tryOnly)
{
    const ControlKind* kind = KindById(id);
    const auto control = kind ? standin.Controls.find(kind->Name) : standin.Controls.end();
    const char* name = kind ? kind->Name : "unknown";
    const bool rejected = kind && std::find(standin.Rejected.begin(), standin.Rejected.end(), std::string(kind->Name)) !=
                                      standin.Rejected.end();
    if (control == standin.Controls.end() || rejected) {
        if (!tryOnly)
            Log(standin.Device, name, value, "einval");
        errno = EINVAL;
        return -1;
    }
    const StandinTable::Control& range = control->second;
    if (value < range.Min || value > range.Max) {
        if (!tryOnly)
            Log(standin.Device, name, value, "erange");
        errno = ERANGE;
        return -1;
    }
    if (range.Step > 1)
        value = range.Min + (value - range.Min + range.Step / 2) / range.Step * range.Step;
    value = std::min(value, range.Max);
    if (!tryOnly) {
        m_Values[standin.Device][kind->Name] = value;
        Log(standin.Device, name, value, "ok");
    }
    return 0;
}

int StandinDevices::ExtControls(const StandinTable::Standin& standin, unsigned long request, v4l2_ext_controls* controls)
{
    if (controls->count > 0 && !controls->controls) {
        errno = EFAULT;
        return -1;
    }
    // All or nothing, as drivers do: check every value before setting any.
    for (unsigned i = 0; i < controls->count; ++i) {
        v4l2_ext_control& control = controls->controls[i];
        int value = control.value;
        const int result = request == VIDIOC_G_EXT_CTRLS ? GetControl(standin, control.id, value)
                                                         : SetControl(standin, control.id, value, true);
        if (result != 0) {
            controls->error_idx = request == VIDIOC_S_EXT_CTRLS ? controls->count : i;
            if (request == VIDIOC_S_EXT_CTRLS)
                SetControl(standin, control.id, value, false);
            return -1;
        }
        if (request == VIDIOC_G_EXT_CTRLS)
            control.value = value;
    }
    if (request == VIDIOC_S_EXT_CTRLS)
        for (unsigned i = 0; i < controls->count; ++i) {
            v4l2_ext_control& control = controls->controls[i];
            int value = control.value;
            SetControl(standin, control.id, value, false);
            GetControl(standin, control.id, value);
            control.value = value;
        }
    return 0;
}

void StandinDevices::TrackListing(DIR* directory)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Table.Refresh();
    Listing& listing = m_Listings[directory];
    listing.Names.clear();
    listing.Next = 0;
    for (const StandinTable::Standin& standin : m_Table.Standins())
        if (PresentStandin(standin.Device))
            listing.Names.push_back(standin.Device.substr(5));
}

bool StandinDevices::Tracks(DIR* directory)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Listings.count(directory) != 0;
}

dirent64* StandinDevices::NextEntry(DIR* directory)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    const auto found = m_Listings.find(directory);
    if (found == m_Listings.end() || found->second.Next >= found->second.Names.size())
        return nullptr;
    Listing& listing = found->second;
    std::memset(&listing.Entry, 0, sizeof listing.Entry);
    listing.Entry.d_ino = 0x5157000 + listing.Next;
    listing.Entry.d_type = DT_CHR;
    listing.Entry.d_reclen = sizeof listing.Entry;
    CopyName(listing.Entry.d_name, listing.Names[listing.Next]);
    ++listing.Next;
    return &listing.Entry;
}

void StandinDevices::ForgetListing(DIR* directory)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Listings.erase(directory);
}
