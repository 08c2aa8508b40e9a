// The weather panel and File > Open weather...: a forecast's cloud cover
// as layers, and its other times a click away.
#include <imgui.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include "panels.h"
#include "viewer.h"
#include "weather/cloud_fields.h"
#include "weather/valid_time.h"
#include "weather_command.h"

namespace cloudview::window {

namespace {

// The file's valid times, read once when the panel takes up a file.
void takeUp(WindowState &state, const std::string &file)
{
    WindowState::WeatherPanel &panel = state.weather;
    if (panel.file == file)
        return;
    panel.file = file;
    panel.times.clear();
    panel.problem.clear();
    panel.show = true;
    try {
        std::set<std::time_t> times;
        for (const weather::CloudField &f : weather::findCloudFields(file).fields)
            if (f.hasTime)
                times.insert(f.validTime);
        panel.times.assign(times.begin(), times.end());
    } catch (const std::exception &e) {
        panel.problem = e.what();
    }
}

WeatherOptions panelOptions(const WindowState &state)
{
    WeatherOptions options;
    options.region = state.weather.region;
    options.spacing = std::max(0.0f, state.weather.spacing);
    return options;
}

void reportOpened(WindowState &state, const WeatherLayers &made)
{
    for (const std::string &note : made.notes)
        state.report(note);
    state.weather.problem.clear();
    const auto &set = state.viewer.weather();
    state.status = "opened " + std::to_string(made.files.size()) + " weather layers" +
                   (set && set->hasTime ? " for " + weather::formatUtc(set->time) : "");
    state.selected = nullptr;
    ++state.changes;
}

}  // namespace

bool openWeatherFile(WindowState &state, const std::string &path)
{
    takeUp(state, path);
    try {
        reportOpened(state, openWeather(state.viewer, path, panelOptions(state)));
        state.viewer.scene().camera().distance = 0.0;  // frame the clouds
        return true;
    } catch (const std::exception &e) {
        state.weather.problem = e.what();
        state.report(e.what());
        return false;
    }
}

bool showWeather(WindowState &state, std::optional<std::time_t> time)
{
    const auto &set = state.viewer.weather();
    if (!set)
        return openWeatherFile(state, state.weather.file);
    WeatherOptions options = panelOptions(state);
    options.levels = set->options.levels;
    options.threshold = set->options.threshold;
    if (time)
        options.time = weather::formatUtc(*time).substr(0, 16);  // "2011-01-15 12:00"
    else if (set->hasTime)
        options.time = weather::formatUtc(set->time).substr(0, 16);
    try {
        reportOpened(state, replaceWeather(state.viewer, options));
        return true;
    } catch (const std::exception &e) {
        state.weather.problem = e.what();
        state.report(e.what());  // the layers shown stay
        return false;
    }
}

void drawWeather(WindowState &state)
{
    const auto &set = state.viewer.weather();
    if (set && state.weather.file != set->file) {
        // A scene's WEATHER statement opened them: its region and spacing
        // hold for other times too.
        takeUp(state, set->file);
        std::snprintf(state.weather.region, sizeof state.weather.region, "%s",
                      set->options.region.c_str());
        state.weather.spacing = static_cast<float>(set->options.spacing);
    }
    WindowState::WeatherPanel &panel = state.weather;
    if (!panel.show || panel.file.empty())
        return;
    const ImGuiViewport *screen = ImGui::GetMainViewport();
    ImGui::SetNextWindowPos(ImVec2(screen->Size.x - 10.0f, 40.0f), ImGuiCond_Appearing,
                            ImVec2(1.0f, 0.0f));
    ImGui::SetNextWindowSize(ImVec2(320.0f, 300.0f), ImGuiCond_Appearing);
    if (ImGui::Begin("Weather", &panel.show)) {
        ImGui::TextUnformatted(std::filesystem::path(panel.file).filename().string().c_str());
        if (set)
            ImGui::Text("%zu layers", set->layers.size());
        ImGui::Separator();
        ImGui::TextUnformatted(panel.times.empty() ? "no valid times in the file" : "Valid times:");
        for (std::time_t t : panel.times) {
            const bool shown = set && set->hasTime && set->time == t;
            if (ImGui::Selectable(weather::formatUtc(t).c_str(), shown) && !shown)
                state.work.post([&state, t] { showWeather(state, t); });
        }
        ImGui::Separator();
        ImGui::InputText("Region", panel.region, sizeof panel.region);
        ImGui::InputFloat("Spacing (m)", &panel.spacing, 0, 0, "%.0f");
        if (ImGui::Button(set ? "Show again" : "Show"))
            state.work.post([&state] { showWeather(state, std::nullopt); });
        if (!panel.problem.empty())
            ImGui::TextWrapped("%s", panel.problem.c_str());
    }
    ImGui::End();
}

}  // namespace cloudview::window
