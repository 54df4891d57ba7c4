#pragma once
// The one current tool of the main window.

enum class ToolMode {
  NoMode,
  LiveWireMode,
  RegionGrowingMode,
  BrushMode,
  EraserMode,
  CutMode,
  AddMode,
  BodyRegionGrowingMode,
};
