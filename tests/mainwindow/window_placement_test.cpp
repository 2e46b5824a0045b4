#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "mainwindow/WindowPlacement.h"

namespace kst {
namespace {

// Two screens side by side, the second one lower and taller; each loses a
// panel strip to its available geometry.
const QRect kLeft(0, 0, 1920, 1040);
const QRect kRight(1920, 0, 1280, 1400);
const QSize kWindow(1000, 600);

struct PlacementCase {
  const char* name;
  std::vector<QRect> screens;
  std::optional<QPoint> saved;
  QPoint pointer;
  QPoint expected;
};

TEST(WindowPlacement, FollowsThePointerOnFirstShowAndKeepsTheWindowOnAScreen) {
  const PlacementCase cases[] = {
      {"first run: centred on the pointer's screen",
       {kLeft, kRight},
       std::nullopt,
       {10, 10},
       {460, 220}},
      {"first run, pointer on screen 2", {kLeft, kRight}, std::nullopt, {2500, 900}, {2060, 400}},
      {"first run, pointer on no screen: the primary one",
       {kLeft, kRight},
       std::nullopt,
       {-500, -500},
       {460, 220}},
      {"saved wholly on screen 2 stays", {kLeft, kRight}, QPoint(2100, 700), {10, 10}, {2100, 700}},
      {"saved across both screens stays on the one it overlaps most",
       {kLeft, kRight},
       QPoint(1500, 100),
       {10, 10},
       {1920, 100}},
      {"saved partly below the bottom", {kLeft, kRight}, QPoint(300, 800), {10, 10}, {300, 440}},
      {"saved partly left of the first screen",
       {kLeft, kRight},
       QPoint(-200, -50),
       {10, 10},
       {0, 0}},
      {"saved on screen 2, which is gone: centred on the pointer's screen",
       {kLeft},
       QPoint(2100, 700),
       {10, 10},
       {460, 220}},
      {"saved on a gone screen left of the primary",
       {kRight, kLeft},
       QPoint(-1500, 100),
       {100, 100},
       {460, 220}},
      {"window larger than the screen keeps its corner on it",
       {QRect(0, 0, 800, 500)},
       QPoint(-100, -100),
       {10, 10},
       {0, 0}},
      {"first run, window larger than the screen",
       {QRect(0, 0, 800, 500)},
       std::nullopt,
       {10, 10},
       {0, 0}},
      {"no screens: the saved position", {}, QPoint(-3000, 50), {10, 10}, {-3000, 50}},
      {"no screens, first run: the origin", {}, std::nullopt, {10, 10}, {0, 0}},
  };
  for (const PlacementCase& c : cases) {
    EXPECT_EQ(PlaceWindow(c.screens, kWindow, c.saved, c.pointer), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace kst
