#include "StandinTable.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <sys/stat.h>

namespace
{
std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator))
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

bool On(const std::string& value)
{
    return value == "on" || value == "1" || value == "true";
}

int Number(const std::string& text)
{
    return int(std::strtol(text.c_str(), nullptr, 10));
}

void ParseRates(const std::string& value, StandinTable::Standin& standin)
{
    standin.Rates.clear();
    const size_t dash = value.find('-', 1);
    standin.RateRange = dash != std::string::npos;
    if (standin.RateRange) {
        standin.Rates = {Number(value.substr(0, dash)), Number(value.substr(dash + 1))};
        return;
    }
    for (const std::string& rate : Split(value, ','))
        standin.Rates.push_back(Number(rate));
}
} // namespace

StandinTable::Standin StandinTable::Parse(const std::string& line)
{
    Standin standin;
    for (const std::string& field : Split(line, ';')) {
        const size_t equals = field.find('=');
        const std::string key = field.substr(0, equals);
        const std::string value = equals == std::string::npos ? std::string() : field.substr(equals + 1);
        if (key == "device") {
            standin.Device = value;
        } else if (key == "card") {
            standin.Card = value;
        } else if (key == "driver") {
            standin.Driver = value;
        } else if (key == "sizes") {
            for (const std::string& size : Split(value, ',')) {
                const size_t x = size.find('x');
                if (x != std::string::npos)
                    standin.Sizes.push_back({Number(size.substr(0, x)), Number(size.substr(x + 1))});
            }
        } else if (key == "rates") {
            ParseRates(value, standin);
        } else if (key == "formats") {
            standin.Formats = Split(value, ',');
        } else if (key == "picture") {
            standin.Picture = value;
        } else if (key == "disc") {
            const std::vector<std::string> disc = Split(value, ',');
            if (disc.size() == 3) {
                standin.DiscX = std::atof(disc[0].c_str());
                standin.DiscY = std::atof(disc[1].c_str());
                standin.DiscR = std::atof(disc[2].c_str());
            }
        } else if (key == "gone") {
            standin.Gone = On(value);
        } else if (key == "startfail") {
            standin.StartFail = On(value);
        } else if (key == "failafter") {
            standin.FailAfter = Number(value);
        } else if (key == "busy") {
            standin.Busy = On(value);
        } else if (key == "vanish") {
            standin.Vanish = On(value);
        } else if (key == "nonsense") {
            standin.Nonsense = On(value);
        } else if (key == "wrongsize") {
            standin.WrongSize = On(value);
        } else if (key == "refuse") {
            standin.Refuse = Number(value);
        } else if (key.rfind("ctrl.", 0) == 0) {
            const std::vector<std::string> range = Split(value, ',');
            if (range.size() == 4)
                standin.Controls[key.substr(5)] = {Number(range[0]), Number(range[1]), Number(range[2]),
                                                   Number(range[3])};
        } else if (key == "reject") {
            standin.Rejected = Split(value, ',');
        }
    }
    if (standin.Sizes.empty())
        standin.Sizes.push_back({640, 480});
    if (standin.Rates.empty())
        standin.Rates = {1, 30};
    if (standin.Formats.empty())
        standin.Formats.push_back("YUY2");
    return standin;
}

bool StandinTable::Refresh()
{
    const char* path = std::getenv("LENTAVIO_STANDINS");
    struct stat info = {};
    if (!path || ::stat(path, &info) != 0) {
        const bool changed = !m_Standins.empty();
        m_Standins.clear();
        m_Bytes = -1;
        return changed;
    }
    if (info.st_mtim.tv_sec == m_Stamp.tv_sec && info.st_mtim.tv_nsec == m_Stamp.tv_nsec && info.st_size == m_Bytes)
        return false;
    m_Stamp = info.st_mtim;
    m_Bytes = info.st_size;
    m_Standins.clear();
    FILE* file = std::fopen(path, "r");
    if (!file)
        return true;
    std::string text;
    char chunk[4096];
    for (size_t read; (read = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        text.append(chunk, read);
    std::fclose(file);
    for (const std::string& line : Split(text, '\n'))
        if (line[0] != '#') {
            Standin standin = Parse(line);
            if (standin.Device.rfind("/dev/video", 0) == 0)
                m_Standins.push_back(standin);
        }
    return true;
}

const std::vector<StandinTable::Standin>& StandinTable::Standins() const
{
    return m_Standins;
}

const StandinTable::Standin* StandinTable::Find(const std::string& device) const
{
    for (const Standin& standin : m_Standins)
        if (standin.Device == device)
            return &standin;
    return nullptr;
}
