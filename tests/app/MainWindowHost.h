#pragma once
// What the main-window tests stand on: the window made against a loopback
// service that answers the init call as a test says, in English, with the
// shell's opening recorded instead of done and quick retries.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Main.h"
#include "service/Service.h"
#include "service/Update.h"
#include "service/UpdateDialog.h"
#include "system/Windows.h"
#include "tests/TestSupport.h"
#include "tests/service/LoopbackServer.h"
#include "ui/Application.h"
#include "ui/Translate.h"

namespace tidora::test {

class TMainWindowHost : public testing::Test {
protected:
    void SetUp() override {
        FSavedLanguage = CurrentLanguage();
        SetCurrentLanguage(L"en");
        ASSERT_TRUE(Server.Ready()) << Server.Failure();
        Service = ServiceAt(Server.Url(L""));
        Service.RetryPause = [] { Sleep(10); };
        Platform.ShellOpen = [this](const std::wstring& Target) { Opened.push_back(Target); };
        SetCursorPos(0, 0);
    }
    void TearDown() override {
        Close();
        SetCurrentLanguage(FSavedLanguage);
    }

    // Answers the init call with Reply, then makes the window.
    void Open(const nlohmann::json& Reply) {
        ASSERT_TRUE(Server.Route("/api.init.php", {{"text", Reply.dump()}}));
        Make();
    }
    // The window on Platform, talking to Service.
    void Make() {
        Window = std::make_unique<TFrmTidora>(Platform, Service);
        SetMainForm(Window.get());
    }
    void Close() {
        Window.reset();
        // A destroyed main form leaves a quit message for the program's loop.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        SetMainForm(nullptr);
    }
    bool Alive() const { return Window && Window->Handle() && IsWindow(Window->Handle()); }

    TLoopbackServer Server;
    TUserHive Hive;
    std::unique_ptr<TFrmTidora> Window;
    std::vector<std::wstring> Opened;
    // What the window is made with: the shell's opening recorded, quick retries.
    TPlatform Platform = RealPlatform();
    TService Service;

private:
    std::wstring FSavedLanguage;
};

} // namespace tidora::test
