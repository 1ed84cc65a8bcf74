// The whole pipeline under load, measured from outside: the real main window
// offscreen, fed by the synthetic camera, with the view at 1280 x 720.
//
//   bench_pipeline case WxH on|off RATE WARMUP_S MEASURE_S
//       one run; prints a "result" line of key=value figures and a
//       "threads" line with the CPU time of each thread
//   bench_pipeline dump WxH FRAMES FILE
//       writes FRAMES captured frames (BGRA, as the worker receives them)
//       one after another to FILE, for the Python reference
//   bench_pipeline memcpy
//       prints the memcpy bandwidth of one core, in bytes touched per second
//
// run_bench.py runs these and prints the comparison.

#include "CameraSettings.h"
#include "FramePoolAllocator.h"
#include "Lentavio.h"
#include "PipelineProbe.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include <dirent.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace
{
const QSize kViewSize(1280, 720);

struct Usage
{
    double CpuMs = 0;
    long MinorFaults = 0;
};

Usage ProcessUsage()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return {ms(usage.ru_utime) + ms(usage.ru_stime), usage.ru_minflt};
}

double PeakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

double RssMb()
{
    long pages = 0;
    long resident = 0;
    if (FILE* file = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(file, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(file);
    }
    return resident * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// CPU milliseconds of every thread, summed per thread name.
std::map<std::string, double> ThreadCpuMs()
{
    std::map<std::string, double> result;
    const double msPerTick = 1000.0 / sysconf(_SC_CLK_TCK);
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return result;
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        char path[320];
        std::snprintf(path, sizeof path, "/proc/self/task/%s/stat", entry->d_name);
        FILE* file = std::fopen(path, "r");
        if (!file)
            continue;
        char line[1024] = {};
        const size_t length = std::fread(line, 1, sizeof line - 1, file);
        std::fclose(file);
        line[length] = 0;
        // "tid (name) state ..." with utime and stime the 14th and 15th fields.
        char* open = std::strchr(line, '(');
        char* close = std::strrchr(line, ')');
        if (!open || !close)
            continue;
        const std::string name(open + 1, close);
        unsigned long utime = 0;
        unsigned long stime = 0;
        if (std::sscanf(close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) == 2)
            result[name] += (utime + stime) * msPerTick;
    }
    closedir(tasks);
    return result;
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

void SetUpEnvironment(const QSize& frameSize, int rate, const QByteArray& settingsDir)
{
    const QByteArray camera = QStringLiteral("size=%1x%2;rates=%3;formats=rgb32;delivery=queued")
                                  .arg(frameSize.width())
                                  .arg(frameSize.height())
                                  .arg(rate)
                                  .toUtf8();
    setenv("LENTAVIO_SIMCAM", camera.constData(), 1);
    setenv("QT_PLUGIN_PATH", LENTAVIO_PLUGIN_DIR, 1);
    setenv("QT_MULTIMEDIA_PREFERRED_PLUGINS", "lentaviosimcam", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QT_LOGGING_RULES", "qt.multimedia*=false", 1);
    setenv("XDG_CONFIG_HOME", settingsDir.constData(), 1);
}

void NameApplication()
{
    QApplication::setApplicationName("Lentavio");
    QApplication::setOrganizationName("Orvelta");
    QApplication::setOrganizationDomain("orvelta.org");
}

// The view's size follows the window's; grow the window until the view has
// the size asked for.
void SizeView(QMainWindow& window, const QSize& viewSize)
{
    QWidget* view = window.findChild<QWidget*>("m_VideoView");
    for (int attempt = 0; view && attempt < 10 && view->size() != viewSize; ++attempt) {
        window.resize(window.size() + viewSize - view->size());
        QApplication::processEvents();
    }
    if (!view || view->size() != viewSize)
        std::fprintf(stderr, "view is not %dx%d\n", viewSize.width(), viewSize.height());
}

QSize ParseSize(const char* text)
{
    int width = 0;
    int height = 0;
    if (std::sscanf(text, "%dx%d", &width, &height) != 2)
        return {};
    return {width, height};
}

int RunCase(int argc, char** argv)
{
    if (argc != 7)
        return 2;
    const QSize frameSize = ParseSize(argv[2]);
    const bool overlay = std::strcmp(argv[3], "on") == 0;
    const int rate = std::atoi(argv[4]);
    const double warmupS = std::atof(argv[5]);
    const double measureS = std::atof(argv[6]);

    char settingsDir[] = "/tmp/bench_pipeline.XXXXXX";
    if (!mkdtemp(settingsDir))
        return 1;
    SetUpEnvironment(frameSize, rate, settingsDir);
    // The synthetic camera names its rendering threads "simcam"; every other
    // thread is the program's.
    pthread_setname_np(pthread_self(), "ui");

    int appArgc = 1;
    // As main() does.
    FramePoolAllocator::Install();
    PipelineProbe probe(appArgc, argv);
    NameApplication();
    {
        QSettings settings;
        settings.setValue("HoleDetect/Enabled", true);
        settings.setValue("Filters/EdgeDetect/enabled", overlay);
    }
    CameraSettings cameraSettings;
    Lentavio window;
    window.show();
    SizeView(window, kViewSize);

    struct Snapshot
    {
        Usage Process;
        std::map<std::string, double> Threads;
        double RssMb;
        double Seconds;
    };
    const auto now = [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    };
    const auto snapshot = [&] { return Snapshot{ProcessUsage(), ThreadCpuMs(), RssMb(), now()}; };

    Snapshot start;
    double rssMin = 1e300;
    double rssMax = 0;
    bool measuring = false;

    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (measuring) {
            const double rss = RssMb();
            rssMin = std::min(rssMin, rss);
            rssMax = std::max(rssMax, rss);
        }
    });
    sampler.start(20);

    QTimer::singleShot(int(warmupS * 1000), [&] {
        start = snapshot();
        probe.StartRecording();
        measuring = true;
    });
    QTimer::singleShot(int((warmupS + measureS) * 1000), [&] {
        probe.StopRecording();
        measuring = false;
        const Snapshot end = snapshot();
        const std::vector<PipelineProbe::Shown>& shown = probe.GetShown();
        const double frames = std::max<size_t>(1, shown.size());
        const double seconds = end.Seconds - start.Seconds;

        std::vector<double> latency;
        std::vector<double> slot;
        std::vector<double> slotWall;
        std::vector<double> age;
        quint32 first = 0xffffffffu;
        quint32 last = 0;
        for (const PipelineProbe::Shown& s : shown) {
            latency.push_back(s.LatencyMs);
            slot.push_back(s.SlotCpuMs);
            slotWall.push_back(s.SlotWallMs);
            age.push_back(s.Age);
            first = std::min(first, s.Number);
            last = std::max(last, s.Number);
        }
        double cameraMs = 0;
        double uiMs = 0;
        for (const auto& [name, ms] : end.Threads) {
            const double used = ms - (start.Threads.count(name) ? start.Threads.at(name) : 0.0);
            if (name == "simcam")
                cameraMs += used;
            if (name == "ui")
                uiMs += used;
        }
        double slotMean = 0;
        double slotWallMean = 0;
        for (const PipelineProbe::Shown& s : shown) {
            slotMean += s.SlotCpuMs / frames;
            slotWallMean += s.SlotWallMs / frames;
        }

        const double cpuMs = end.Process.CpuMs - start.Process.CpuMs;
        const double numbers = shown.empty() ? 0 : double(last - first + 1);
        std::printf("result size=%dx%d overlay=%s rate=%d seconds=%.2f shown=%zu fps=%.1f"
                    " presented=%llu camera_frames=%.0f dropped=%.0f"
                    " latency_median_ms=%.2f latency_p99_ms=%.2f latency_max_ms=%.2f age_max=%.0f age_p99=%.0f"
                    " cpu_ms=%.3f camera_cpu_ms=%.3f ui_slot_ms=%.3f ui_slot_p99_ms=%.3f ui_slot_wall_ms=%.3f ui_slot_wall_p99_ms=%.3f ui_present_ms=%.3f"
                    " ui_paint_ms=%.3f ui_total_ms=%.3f minflt=%.2f rss_peak_mb=%.1f rss_start_mb=%.1f rss_end_mb=%.1f"
                    " rss_min_mb=%.1f rss_max_mb=%.1f unreadable=%llu\n",
                    frameSize.width(), frameSize.height(), overlay ? "on" : "off", rate, seconds, shown.size(),
                    shown.size() / seconds, static_cast<unsigned long long>(probe.GetPresentedWhileRecording()),
                    numbers, numbers - double(shown.size()), Percentile(latency, 0.5), Percentile(latency, 0.99),
                    Percentile(latency, 1.0), Percentile(age, 1.0), Percentile(age, 0.99), cpuMs / frames,
                    cameraMs / frames, slotMean, Percentile(slot, 0.99), slotWallMean, Percentile(slotWall, 0.99),
                    probe.GetPresentCpuMs() / std::max<double>(1, probe.GetPresentedWhileRecording()),
                    probe.GetPaintCpuMs() / frames, uiMs / frames, (end.Process.MinorFaults - start.Process.MinorFaults) / frames, PeakRssMb(),
                    start.RssMb, end.RssMb, rssMin, rssMax,
                    static_cast<unsigned long long>(probe.GetUnreadable()));
        std::printf("threads");
        for (const auto& [name, ms] : end.Threads) {
            const double used = ms - (start.Threads.count(name) ? start.Threads.at(name) : 0.0);
            std::printf(" %s=%.3f", name.c_str(), used / frames);
        }
        std::printf("\n");
        std::fflush(stdout);
        // A run that saw no frame measured nothing: fail it rather than
        // report zeros as figures.
        QApplication::exit(shown.empty() ? 1 : 0);
    });

    const int status = probe.exec();
    QDir(settingsDir).removeRecursively();
    return status;
}

int RunDump(int argc, char** argv)
{
    if (argc != 5)
        return 2;
    const QSize frameSize = ParseSize(argv[2]);
    const int frames = std::max(1, std::atoi(argv[3]));
    char settingsDir[] = "/tmp/bench_pipeline.XXXXXX";
    if (!mkdtemp(settingsDir))
        return 1;
    SetUpEnvironment(frameSize, 30, settingsDir);

    int appArgc = 1;
    // As main() does.
    FramePoolAllocator::Install();
    PipelineProbe probe(appArgc, argv);
    NameApplication();
    QFile file(QString::fromLocal8Bit(argv[4]));
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    int written = 0;
    probe.OnCaptured = [&](const cv::Mat& frame) {
        if (written >= frames)
            return;
        file.write(reinterpret_cast<const char*>(frame.data), qint64(frame.total() * frame.elemSize()));
        if (++written == frames)
            QTimer::singleShot(0, [] { QApplication::quit(); });
    };
    CameraSettings cameraSettings;
    Lentavio window;
    window.show();
    // The camera makes 30 frames a second: a dump still short after this
    // long is not coming.
    QTimer::singleShot(30000, [] {
        std::fprintf(stderr, "dump: no frames from the camera\n");
        QApplication::exit(1);
    });
    const int status = probe.exec();
    file.close();
    QDir(settingsDir).removeRecursively();
    return written == frames ? status : 1;
}

int RunMemcpy()
{
    // Well beyond the caches, touched first so no page fault is timed.
    const size_t bytes = size_t(128) << 20;
    std::unique_ptr<char[]> from(new char[bytes]);
    std::unique_ptr<char[]> to(new char[bytes]);
    std::memset(from.get(), 1, bytes);
    std::memset(to.get(), 2, bytes);
    double best = 1e300;
    for (int i = 0; i < 10; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        std::memcpy(to.get(), from.get(), bytes);
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
        from[size_t(i)] = to[bytes - 1 - size_t(i)];
    }
    // Read and written: each copied byte is touched twice.
    std::printf("memcpy bytes_touched_per_s=%.0f\n", 2.0 * double(bytes) / best);
    return 0;
}
}

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "case")
        return RunCase(argc, argv);
    if (mode == "dump")
        return RunDump(argc, argv);
    if (mode == "memcpy")
        return RunMemcpy();
    std::fprintf(stderr,
                 "usage: %s case WxH on|off RATE WARMUP_S MEASURE_S\n"
                 "       %s dump WxH FRAMES FILE\n"
                 "       %s memcpy\n",
                 argv[0], argv[0], argv[0]);
    return 2;
}
