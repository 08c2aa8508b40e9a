#include "dialogs.h"

#include <GLFW/glfw3.h>
#include <imgui.h>

#include <cctype>

#include "scene_view.h"
#include "viewer.h"

namespace cloudview::window {

void drawQuestion(WindowState &state, Question &q)
{
    if (!ImGui::IsPopupOpen("Question"))
        ImGui::OpenPopup("Question");
    ImGui::SetNextWindowPos(ImGui::GetMainViewport()->GetCenter(), ImGuiCond_Always,
                            ImVec2(0.5f, 0.5f));
    if (ImGui::BeginPopupModal("Question", nullptr, ImGuiWindowFlags_AlwaysAutoResize)) {
        ImGui::PushTextWrapPos(480.0f);
        ImGui::TextUnformatted(q.text.c_str());
        ImGui::PopTextWrapPos();
        ImGui::Separator();
        const bool yesKey = state.pressed(GLFW_KEY_Y);
        const bool noKey = state.pressed(GLFW_KEY_N) || state.pressed(GLFW_KEY_ESCAPE);
        std::string taken = "YN";
        for (size_t i = 0; i < q.answers.size() && !q.answered; ++i) {
            if (i > 0)
                ImGui::SameLine();
            bool key = i == 0 ? yesKey : i + 1 == q.answers.size() && noKey && !yesKey;
            // Each answer's first letter that no answer before it took.
            for (const char c : q.answers[i]) {
                const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                if (letter < 'A' || letter > 'Z' || taken.find(letter) != std::string::npos)
                    continue;
                taken += letter;
                key = key || state.pressed(letter);
                break;
            }
            if (ImGui::Button(q.answers[i].c_str(), ImVec2(110.0f, 0.0f)) || key) {
                q.answered = true;
                q.answer = i;
                ImGui::CloseCurrentPopup();
            }
        }
        ImGui::EndPopup();
    }
    ++q.framesShown;
}

void drawStatusBar(WindowState &state, const SceneView &view)
{
    const ImGuiViewport *screen = ImGui::GetMainViewport();
    const float height = ImGui::GetFrameHeight();
    ImGui::SetNextWindowPos(ImVec2(0.0f, screen->Size.y - height));
    ImGui::SetNextWindowSize(ImVec2(screen->Size.x, height));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(6.0f, 2.0f));
    ImGui::Begin("##status", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoFocusOnAppearing |
                     ImGuiWindowFlags_NoBringToFrontOnFocus);
    if (state.viewer.scene().busy()) {
        ImGui::TextColored(ImVec4(1.0f, 0.8f, 0.2f, 1.0f), "Busy");
        ImGui::SameLine();
    }
    const std::string point = view.pointerText();
    ImGui::TextUnformatted(point.empty() ? "-" : point.c_str());
    ImGui::SameLine(std::max(260.0f, ImGui::CalcTextSize(point.c_str()).x + 24.0f));
    ImGui::Text("%dx%d%s", view.drawnWidth(), view.drawnHeight(),
                view.moving() ? " (moving)" : "");
    if (!state.status.empty()) {
        ImGui::SameLine(0.0f, 24.0f);
        ImGui::TextUnformatted(state.status.c_str());
    }
    ImGui::End();
    ImGui::PopStyleVar();
}

} // namespace cloudview::window
