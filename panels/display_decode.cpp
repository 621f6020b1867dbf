#include "panels/display_decode.h"

#include "panels/lane_walk.h"
#include "panels/panel_layout.h"

namespace quinterra {

namespace {

constexpr int kFirstQuinigolResult = 70;
constexpr int kLastQuinigolResult = 81;

// What one byte of an image is read into.
struct ByteSource {
  int cell = -1;  // into DecodedPanel::cells; -1 for filler and blanks
  int position = 0;
  int part = 0;  // which byte of the position
  bool quinigol_dots = false;
};

// One source per image byte, found by walking the layout as the encoder does.
class ImageMap : private TLaneWalk {
 public:
  ImageMap(const TCellSet& layout, bool results)
      : layout_(layout), cursor_(results ? 0 : kResultsCellCount), first_cell_(cursor_) {
    const int last_cell = results ? kResultsCellCount : kCellCount;
    for (int i = first_cell_; i < last_cell; ++i) {
      const TCasilla& cell = layout.Cells[static_cast<size_t>(i)];
      blank.cells.push_back({i, cell.Glyphs, std::vector<PositionSegments>(cell.Digits)});
    }
    if (results)
      ResultsPanel();
    else
      JackpotsPanel();
    // As JoinLanes: each lane in turn, last byte first.
    for (const auto& lane : lanes_) sources.insert(sources.end(), lane.rbegin(), lane.rend());
  }

  std::vector<ByteSource> sources;
  DecodedPanel blank;  // every cell dark

 private:
  const TCasilla* NextCell() override {
    if (cursor_ >= static_cast<int>(layout_.CellsByWire.size())) return nullptr;
    return layout_.CellsByWire[static_cast<size_t>(cursor_++)];
  }

  void Put(int lane, const LaneSlot& slot) override {
    auto& bytes = lanes_[static_cast<size_t>(lane)];
    switch (slot.kind) {
      case LaneSlot::Kind::Blank:
        bytes.push_back({});
        break;
      case LaneSlot::Kind::BlankPair:
        bytes.insert(bytes.end(), 2, {});
        break;
      case LaneSlot::Kind::Seven:
        bytes.push_back({slot.cell->Index - first_cell_, slot.position, 0});
        break;
      case LaneSlot::Kind::Sixteen:
        bytes.push_back({slot.cell->Index - first_cell_, slot.position, 0});
        bytes.push_back({slot.cell->Index - first_cell_, slot.position, 1});
        break;
      case LaneSlot::Kind::AnySign:
        bytes.push_back({-1, 0, 0, true});
        break;
    }
  }

  const TCellSet& layout_;
  int cursor_;
  const int first_cell_;
  std::array<std::vector<ByteSource>, 8> lanes_;
};

const TCellSet& Layout() {
  static const TCellSet layout;
  return layout;
}

std::optional<DecodedPanel> Decode(const ImageMap& map, const Bytes& image) {
  if (image.size() != map.sources.size()) return std::nullopt;
  DecodedPanel panel = map.blank;
  for (size_t i = 0; i < image.size(); ++i) {
    const ByteSource& source = map.sources[i];
    if (source.quinigol_dots)
      panel.quinigol_dots = image[i];
    else if (source.cell >= 0)
      panel.cells[static_cast<size_t>(source.cell)]
          .positions[static_cast<size_t>(source.position)][static_cast<size_t>(source.part)] =
          image[i];
  }
  return panel;
}

}  // namespace

std::optional<DecodedPanel> DecodeResultsImage(const Bytes& image) {
  static const ImageMap map(Layout(), true);
  return Decode(map, image);
}

std::optional<DecodedPanel> DecodeJackpotsImage(const Bytes& image) {
  static const ImageMap map(Layout(), false);
  return Decode(map, image);
}

std::vector<int> DifferingCells(const DecodedPanel& a, const DecodedPanel& b) {
  std::vector<int> differing;
  const bool dots_differ = a.quinigol_dots != b.quinigol_dots;
  for (size_t i = 0; i < a.cells.size() && i < b.cells.size(); ++i) {
    const int index = a.cells[i].index;
    const bool quinigol = index >= kFirstQuinigolResult && index <= kLastQuinigolResult;
    if (a.cells[i].positions != b.cells[i].positions || (quinigol && dots_differ))
      differing.push_back(index);
  }
  return differing;
}

}  // namespace quinterra
