// The GUI controls under an injected mouse, their looks read back from the
// frame, and style files.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "raygui.h"
#include "raylib.h"
#include "support/colours.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/test_window.h"
#include "testing.h"

namespace {

constexpr int screen_w = 320;
constexpr int screen_h = 240;

class Gui : public test_support::WindowSuite<screen_w, screen_h> {
protected:
    static void TearDownTestSuite() {
        testing_release_all_input();
        WindowSuite::TearDownTestSuite();
    }
    void SetUp() override {
        ASSERT_TRUE(IsWindowReady());
        GuiLoadStyleDefault();
        testing_release_all_input();
        testing_mouse_move(-100.0f, -100.0f);
        frame([] {});
        frame([] {});
    }

    // One whole frame; `body` runs between BeginDrawing and EndDrawing.
    static void frame(const std::function<void()> &body) {
        BeginDrawing();
        ClearBackground(BLACK);
        body();
        EndDrawing();
    }

    static Image drawn(const std::function<void()> &body) { return test_support::drawn_frame(body); }
    static Color pixel(const Image &img, int x, int y) { return GetImageColor(img, x, y); }
};

using test_support::rgb;
using test_support::same_rgb;

const Rectangle button_a{20, 20, 100, 40};
const Rectangle button_b{20, 80, 100, 40};

TEST_F(Gui, ButtonFiresOnceWhenReleasedOverIt) {
    int fired = 0;
    testing_mouse_move(60, 40);
    testing_mouse_button_down(MOUSE_BUTTON_LEFT);
    frame([&] { fired += GuiButton(button_a, "A"); });
    EXPECT_EQ(fired, 0) << "a press alone does not click";
    frame([&] { fired += GuiButton(button_a, "A"); });
    EXPECT_EQ(fired, 0) << "holding does not click";
    testing_mouse_button_up(MOUSE_BUTTON_LEFT);
    frame([&] { fired += GuiButton(button_a, "A"); });
    EXPECT_EQ(fired, 1);
    frame([&] { fired += GuiButton(button_a, "A"); });
    frame([&] { fired += GuiButton(button_a, "A"); });
    EXPECT_EQ(fired, 1) << "one release, one click";
}

TEST_F(Gui, PressOnButtonThenReleaseOutsideDoesNothing) {
    int fired = 0;
    testing_mouse_move(60, 40);
    testing_mouse_button_down(MOUSE_BUTTON_LEFT);
    frame([&] { fired += GuiButton(button_a, "A"); });
    testing_mouse_move(250, 200);
    frame([&] { fired += GuiButton(button_a, "A"); });
    testing_mouse_button_up(MOUSE_BUTTON_LEFT);
    frame([&] { fired += GuiButton(button_a, "A"); });
    frame([&] { fired += GuiButton(button_a, "A"); });
    EXPECT_EQ(fired, 0);
}

TEST_F(Gui, ReleaseOverAnotherButtonFiresTheOneUnderTheMouse) {
    int fired_a = 0;
    int fired_b = 0;
    auto both = [&] {
        fired_a += GuiButton(button_a, "A");
        fired_b += GuiButton(button_b, "B");
    };
    testing_mouse_move(60, 40);
    testing_mouse_button_down(MOUSE_BUTTON_LEFT);
    frame(both);
    testing_mouse_move(60, 100);
    frame(both);
    testing_mouse_button_up(MOUSE_BUTTON_LEFT);
    frame(both);
    EXPECT_EQ(fired_a, 0);
    EXPECT_EQ(fired_b, 1);
}

TEST_F(Gui, ButtonLooksFollowItsState) {
    // Interior and left border, sampled away from the centred text.
    const int ix = 30, iy = 40, bx = 20, by = 40;
    Image normal = drawn([] { GuiButton(button_a, "A"); });
    EXPECT_TRUE(same_rgb(pixel(normal, ix, iy), 0xc9c9c9ff)) << rgb(pixel(normal, ix, iy));
    EXPECT_TRUE(same_rgb(pixel(normal, bx, by), 0x838383ff)) << rgb(pixel(normal, bx, by));
    EXPECT_TRUE(same_rgb(pixel(normal, bx + 1, by), 0x838383ff)) << "the button's border is 2 wide";
    EXPECT_TRUE(same_rgb(pixel(normal, bx - 1, by), 0x000000ff));
    UnloadImage(normal);

    testing_mouse_move(60, 40);
    frame([] { GuiButton(button_a, "A"); });
    Image focused = drawn([] { GuiButton(button_a, "A"); });
    EXPECT_TRUE(same_rgb(pixel(focused, ix, iy), 0xc9effeff)) << rgb(pixel(focused, ix, iy));
    EXPECT_TRUE(same_rgb(pixel(focused, bx, by), 0x5bb2d9ff)) << rgb(pixel(focused, bx, by));
    UnloadImage(focused);

    testing_mouse_button_down(MOUSE_BUTTON_LEFT);
    Image pressed = drawn([] { GuiButton(button_a, "A"); });
    EXPECT_TRUE(same_rgb(pixel(pressed, ix, iy), 0x97e8ffff)) << rgb(pixel(pressed, ix, iy));
    EXPECT_TRUE(same_rgb(pixel(pressed, bx, by), 0x0492c7ff)) << rgb(pixel(pressed, bx, by));
    UnloadImage(pressed);
}

// Columns of the frame where any pixel in rows [y0, y1) is not black.
void lit_span(const Image &img, int y0, int y1, int &min_x, int &max_x, int &min_y, int &max_y) {
    min_x = min_y = 1 << 30;
    max_x = max_y = -1;
    for (int y = y0; y < y1; ++y) {
        for (int x = 0; x < img.width; ++x) {
            const Color c = GetImageColor(img, x, y);
            if (c.r + c.g + c.b == 0) continue;
            min_x = std::min(min_x, x);
            max_x = std::max(max_x, x);
            min_y = std::min(min_y, y);
            max_y = std::max(max_y, y);
        }
    }
}

TEST_F(Gui, LabelTextFollowsAlignmentAndIsCentredVertically) {
    GuiSetStyle(LABEL, TEXT_COLOR_NORMAL, static_cast<int>(0xffffffffu));
    GuiSetStyle(DEFAULT, TEXT_SIZE, 20);
    const Rectangle bounds{0, 100, static_cast<float>(screen_w), 60};
    int x0, x1, y0, y1;

    GuiSetStyle(LABEL, TEXT_ALIGNMENT, TEXT_ALIGN_CENTER);
    Image centre = drawn([&] { GuiLabel(bounds, "MMMM"); });
    lit_span(centre, 90, 170, x0, x1, y0, y1);
    UnloadImage(centre);
    ASSERT_GE(x1, 0) << "the label drew nothing";
    EXPECT_NEAR((x0 + x1) / 2.0, screen_w / 2.0, 4.0);
    EXPECT_NEAR((y0 + y1) / 2.0, 130.0, 5.0);

    GuiSetStyle(LABEL, TEXT_ALIGNMENT, TEXT_ALIGN_LEFT);
    GuiSetStyle(LABEL, TEXT_PADDING, 10);
    Image left = drawn([&] { GuiLabel(bounds, "MMMM"); });
    lit_span(left, 90, 170, x0, x1, y0, y1);
    UnloadImage(left);
    EXPECT_GE(x0, 10);
    EXPECT_LE(x0, 14);

    GuiSetStyle(LABEL, TEXT_ALIGNMENT, TEXT_ALIGN_RIGHT);
    Image right = drawn([&] { GuiLabel(bounds, "MMMM"); });
    lit_span(right, 90, 170, x0, x1, y0, y1);
    UnloadImage(right);
    EXPECT_LE(x1, screen_w - 11);
    EXPECT_GE(x1, screen_w - 16);
}

TEST_F(Gui, CheckBoxTogglesFromItsTextAndGapButNotBeyond) {
    GuiSetStyle(DEFAULT, TEXT_SIZE, 20);
    GuiSetStyle(CHECKBOX, TEXT_PADDING, 20);
    const Rectangle box{50, 100, 20, 20};
    const char *text = "SOUND";
    const float text_w =
        MeasureTextEx(GuiGetFont(), text, 20, static_cast<float>(GuiGetStyle(DEFAULT, TEXT_SPACING))).x;
    bool flag = false;

    auto click_at = [&](float x, float y) {
        int result = 0;
        testing_mouse_move(x, y);
        testing_mouse_button_down(MOUSE_BUTTON_LEFT);
        frame([&] { result += GuiCheckBox(box, text, &flag); });
        testing_mouse_button_up(MOUSE_BUTTON_LEFT);
        frame([&] { result += GuiCheckBox(box, text, &flag); });
        return result;
    };

    EXPECT_EQ(click_at(90 + text_w / 2, 110), 1) << "on the text";
    EXPECT_TRUE(flag);
    EXPECT_EQ(click_at(80, 110), 1) << "in the gap between box and text";
    EXPECT_FALSE(flag);
    EXPECT_EQ(click_at(60, 110), 1) << "on the box";
    EXPECT_TRUE(flag);
    EXPECT_EQ(click_at(90 + text_w + 5, 110), 0) << "past the end of the text";
    EXPECT_EQ(click_at(60, 95), 0) << "above the box";
    EXPECT_TRUE(flag);

    // With left alignment the text stands on the other side.
    GuiSetStyle(CHECKBOX, TEXT_ALIGNMENT, TEXT_ALIGN_LEFT);
    EXPECT_EQ(click_at(50 - 20 - text_w / 2, 110), 1);
    EXPECT_FALSE(flag);
    EXPECT_EQ(click_at(90 + text_w / 2, 110), 0);

    // raygui 4.0's convention behind the test switch: the click still flips the flag,
    // and the return is 0 either way.
    testing_checkbox_returns_zero(true);
    EXPECT_EQ(click_at(60, 110), 0);
    EXPECT_TRUE(flag);
    EXPECT_EQ(click_at(60, 95), 0);
    EXPECT_TRUE(flag);
    testing_checkbox_returns_zero(false);
    EXPECT_EQ(click_at(60, 110), 1);
    EXPECT_FALSE(flag);
}

TEST_F(Gui, CheckBoxDrawsItsMarkAndTextBesideTheBox) {
    GuiSetStyle(DEFAULT, TEXT_SIZE, 20);
    GuiSetStyle(CHECKBOX, TEXT_PADDING, 20);
    GuiSetStyle(CHECKBOX, TEXT_COLOR_NORMAL, static_cast<int>(0xffffffffu));
    const Rectangle box{50, 100, 20, 20};
    bool on = true;
    bool off = false;
    Image img = drawn([&] {
        GuiCheckBox(box, "MM", &on);
        GuiCheckBox(Rectangle{50, 160, 20, 20}, nullptr, &off);
    });
    EXPECT_TRUE(same_rgb(pixel(img, 60, 110), 0xffffffffu)) << "checked: filled with the text colour";
    EXPECT_TRUE(same_rgb(pixel(img, 50, 110), 0x838383ffu)) << "border";
    EXPECT_TRUE(same_rgb(pixel(img, 60, 170), 0x000000ffu)) << "unchecked: hollow";
    int x0, x1, y0, y1;
    lit_span(img, 95, 125, x0, x1, y0, y1);
    UnloadImage(img);
    // Past the box (50..70): the text starts 20 pixels after it.
    int text_x0 = 1 << 30;
    Image again = drawn([&] { GuiCheckBox(box, "MM", &on); });
    for (int x = 72; x < screen_w; ++x) {
        for (int y = 95; y < 125; ++y) {
            const Color c = GetImageColor(again, x, y);
            if (c.r + c.g + c.b > 0) text_x0 = std::min(text_x0, x);
        }
    }
    UnloadImage(again);
    EXPECT_GE(text_x0, 90);
    EXPECT_LE(text_x0, 93);
}

TEST_F(Gui, TextBoxAsksToToggleOnAClickInsideThenEnterOrAClickOutside) {
    const Rectangle box{20, 20, 200, 30};
    char text[8] = "ab";
    // Each row: where the mouse is, what is pressed, the edit mode, and the answer.
    struct Row {
        const char *what;
        float x;
        bool click;
        int key;
        bool editing;
        int toggles;
    };
    const Row rows[] = {
        {"hovering", 50, false, 0, false, 0},
        {"click inside, not editing", 50, true, 0, false, 1},
        {"click outside, not editing", 260, true, 0, false, 0},
        {"click inside, editing", 50, true, 0, true, 0},
        {"click outside, editing", 260, true, 0, true, 1},
        {"enter, editing", 50, false, KEY_ENTER, true, 1},
        {"enter, not editing", 50, false, KEY_ENTER, false, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        testing_release_all_input();
        frame([] {});
        testing_mouse_move(row.x, 30);
        if (row.click) testing_mouse_button_down(MOUSE_BUTTON_LEFT);
        if (row.key != 0) testing_key_down(row.key);
        int got = -1;
        frame([&] { got = GuiTextBox(box, text, sizeof text, row.editing); });
        EXPECT_EQ(got, row.toggles);
    }
    EXPECT_STREQ(text, "ab");
}

TEST_F(Gui, TextBoxEditsInPlaceWithinItsSizeOnlyWhileEditing) {
    const Rectangle box{20, 20, 200, 30};
    char text[8] = "12";
    testing_type_text("3.4");
    frame([&] { GuiTextBox(box, text, sizeof text, false); });
    EXPECT_STREQ(text, "12") << "typing outside edit mode changes nothing";

    testing_type_text("3.4:5678");
    frame([&] { GuiTextBox(box, text, sizeof text, true); });
    EXPECT_STREQ(text, "123.4:5") << "at most size - 1 characters";

    testing_key_down(KEY_BACKSPACE);
    frame([&] { GuiTextBox(box, text, sizeof text, true); });
    EXPECT_STREQ(text, "123.4:");
    testing_key_up(KEY_BACKSPACE);
    testing_type_text("\t\x7f"
                      "9");
    frame([&] { GuiTextBox(box, text, sizeof text, true); });
    EXPECT_STREQ(text, "123.4:9") << "control characters are not taken";

    char empty[4] = "";
    testing_key_down(KEY_BACKSPACE);
    frame([&] { GuiTextBox(box, empty, sizeof empty, true); });
    EXPECT_STREQ(empty, "");
}

TEST_F(Gui, TextBoxLooksPressedWhileEditingWithACursorAfterTheText) {
    const Rectangle box{20, 20, 200, 30};
    char text[16] = "";
    Image idle = drawn([&] { GuiTextBox(box, text, sizeof text, false); });
    Image editing = drawn([&] { GuiTextBox(box, text, sizeof text, true); });
    EXPECT_TRUE(same_rgb(pixel(idle, 20, 35), 0x838383ffu)) << rgb(pixel(idle, 20, 35));
    EXPECT_TRUE(same_rgb(pixel(idle, 100, 35), 0xc9c9c9ffu)) << rgb(pixel(idle, 100, 35));
    EXPECT_TRUE(same_rgb(pixel(editing, 20, 35), 0x0492c7ffu)) << rgb(pixel(editing, 20, 35));
    EXPECT_TRUE(same_rgb(pixel(editing, 100, 35), 0x97e8ffffu)) << rgb(pixel(editing, 100, 35));
    // The cursor: border-coloured, just past the padding when the text is empty.
    EXPECT_TRUE(same_rgb(pixel(editing, 28, 35), 0x0492c7ffu)) << rgb(pixel(editing, 28, 35));
    UnloadImage(idle);
    UnloadImage(editing);
}

TEST_F(Gui, DefaultBasePropertiesSpreadButExtendedOnesStayPerControl) {
    GuiSetStyle(DEFAULT, BASE_COLOR_NORMAL, 0x11223344);
    EXPECT_EQ(GuiGetStyle(BUTTON, BASE_COLOR_NORMAL), 0x11223344);
    EXPECT_EQ(GuiGetStyle(CHECKBOX, BASE_COLOR_NORMAL), 0x11223344);
    GuiSetStyle(BUTTON, BASE_COLOR_NORMAL, 0x55667788);
    EXPECT_EQ(GuiGetStyle(LABEL, BASE_COLOR_NORMAL), 0x11223344);

    // TEXT_SIZE and CHECK_PADDING share the number 16 on different controls.
    GuiSetStyle(DEFAULT, TEXT_SIZE, 64);
    EXPECT_EQ(GuiGetStyle(CHECKBOX, CHECK_PADDING), 1);
    EXPECT_EQ(GuiGetStyle(DEFAULT, TEXT_SIZE), 64);

    GuiSetStyle(99, 0, 5);
    GuiSetStyle(0, 99, 5);
    EXPECT_EQ(GuiGetStyle(99, 0), 0);
    EXPECT_EQ(GuiGetStyle(-1, -1), 0);
}

class GuiStyleFile : public Gui, protected test_support::ScratchFiles {
protected:
    void SetUp() override {
        Gui::SetUp();
        ASSERT_FALSE(dir.empty());
    }
};

TEST_F(GuiStyleFile, PropertyAndFontLinesApplyWithPathsRelativeToTheFile) {
    // The font sits beside the style file, reached by a relative path.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    mkdir((dir + "/fonts").c_str(), 0755);
    const std::string font_link = dir + "/fonts/hand.ttf";
    ASSERT_EQ(symlink((std::string(cwd) + "/assets/fonts/GloriaHallelujah-Regular.ttf").c_str(), font_link.c_str()), 0);
    write("charset.txt", "ABC abc");
    const std::string style = write("theme.rgs", "# a theme\n"
                                                 "#\n"
                                                 "p 00 00 0x112233ff    DEFAULT_BORDER_COLOR_NORMAL\r\n"
                                                 "p 2 1 0x102030ff\n"
                                                 "p 6 13 0x00000007\n"
                                                 "p not a line\n"
                                                 "f 24 charset.txt fonts/hand.ttf\n");
    GuiLoadStyle(style.c_str());
    EXPECT_EQ(static_cast<unsigned>(GuiGetStyle(LABEL, BORDER_COLOR_NORMAL)), 0x112233ffu);
    EXPECT_EQ(static_cast<unsigned>(GuiGetStyle(BUTTON, BORDER_COLOR_NORMAL)), 0x112233ffu);
    EXPECT_EQ(static_cast<unsigned>(GuiGetStyle(BUTTON, BASE_COLOR_NORMAL)), 0x102030ffu);
    EXPECT_EQ(static_cast<unsigned>(GuiGetStyle(LABEL, BASE_COLOR_NORMAL)), 0xc9c9c9ffu);
    EXPECT_EQ(GuiGetStyle(CHECKBOX, TEXT_PADDING), 7);
    EXPECT_EQ(GuiGetFont().baseSize, 24) << "the style's font was not loaded";

    Image img = drawn([] { GuiButton(button_a, nullptr); });
    EXPECT_TRUE(same_rgb(GetImageColor(img, 60, 40), 0x102030ffu)) << rgb(GetImageColor(img, 60, 40));
    EXPECT_TRUE(same_rgb(GetImageColor(img, 20, 40), 0x112233ffu)) << rgb(GetImageColor(img, 20, 40));
    UnloadImage(img);
}

TEST_F(GuiStyleFile, MissingOrPackedFileChangesNothing) {
    GuiSetStyle(BUTTON, BASE_COLOR_NORMAL, 0x0a0b0cff);
    int before[RAYGUI_MAX_CONTROLS][RAYGUI_MAX_PROPS_BASE + RAYGUI_MAX_PROPS_EXTENDED];
    for (int c = 0; c < RAYGUI_MAX_CONTROLS; ++c)
        for (int p = 0; p < RAYGUI_MAX_PROPS_BASE + RAYGUI_MAX_PROPS_EXTENDED; ++p) before[c][p] = GuiGetStyle(c, p);
    const Font font_before = GuiGetFont();

    {
        const test_support::LogCapture log;
        GuiLoadStyle((dir + "/absent.rgs").c_str());
        EXPECT_TRUE(testing_log_contains(LOG_WARNING, "absent.rgs"));
        GuiLoadStyle(write("packed.rgs", std::string("rGS \x01\x00\x00\x00p 2 1 0xffffffff\n", 25)).c_str());
    }

    for (int c = 0; c < RAYGUI_MAX_CONTROLS; ++c)
        for (int p = 0; p < RAYGUI_MAX_PROPS_BASE + RAYGUI_MAX_PROPS_EXTENDED; ++p)
            EXPECT_EQ(GuiGetStyle(c, p), before[c][p]) << "control " << c << " property " << p;
    EXPECT_EQ(GuiGetFont().texture.id, font_before.texture.id);
}

}  // namespace
