#pragma once
// Flash movies written by the tests, the fuzzer's seeds and the benchmarks: tags, ActionScript
// 1/2 action lists, ActionScript 3 constant pools, sprites, and whole files plain, zlib or LZMA
// compressed, byte for byte as the format lays them out.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavimo::test {

std::string SwfU16(std::uint32_t value);
std::string SwfU32(std::uint32_t value);
// A string with its terminating zero.
std::string SwfString(std::string_view text);

// A tag record; bodies of 63 bytes or more (or with `longHeader`) get the long header.
std::string SwfTag(int code, std::string_view body, bool longHeader = false);
// The End tag.
std::string SwfEnd();

// An action list, ended by ActionEnd when taken with Bytes().
class SwfActions {
 public:
  SwfActions& ConstantPool(const std::vector<std::string>& strings);
  SwfActions& PushString(std::string_view text);
  SwfActions& PushConstant(std::uint32_t index);  // 1-byte index below 256, else 2-byte
  // One Push of a value of every other type (float, null, undefined, register, boolean, double,
  // integer), so their sizes are skipped.
  SwfActions& PushOtherTypes();
  SwfActions& GetUrl(std::string_view url, std::string_view target);
  // Flags: 0x02 load target (a clip), 0x01 load variables; the method bits are 0x80/0x40.
  SwfActions& GetUrl2(std::uint8_t flags);
  SwfActions& Action(std::uint8_t code, std::string_view payload = {});  // any other action
  std::string Bytes() const { return bytes_ + std::string(1, '\0'); }

 private:
  std::string bytes_;
};

// An ABC block whose constant pool holds these strings (with a few ints, uints and doubles before
// them, to be walked over).
std::string SwfAbc(const std::vector<std::string>& strings);

// DoAction (12), DoInitAction (59) for a sprite, DoABC (82, flags and name) and its raw form (72).
std::string SwfDoAction(const SwfActions& actions);
std::string SwfDoInitAction(int spriteId, const SwfActions& actions);
std::string SwfDoAbc(const std::vector<std::string>& strings);
std::string SwfDoAbcRaw(const std::vector<std::string>& strings);
// ImportAssets (57) / ImportAssets2 (71) of one asset.
std::string SwfImportAssets(std::string_view url, bool two = false);

// PlaceObject2 (26), or PlaceObject3 (70), with a matrix, a colour transform, a name and (for 3) a
// class name and filters before its clip actions: one clip action record per list, the first on a
// key press (with its key code) when `keyPress`. Event flags take 2 bytes for version 5 and older.
std::string SwfPlaceObject(bool three, int version, const std::vector<SwfActions>& clipActions,
                           bool keyPress = false);

// DefineButton (7) with the first action list, or DefineButton2 (34) with one condition each.
std::string SwfButton(bool two, const std::vector<SwfActions>& actions);

std::string SwfSprite(int id, const std::vector<std::string>& tags);
// DefineBinaryData (87) holding these bytes.
std::string SwfBinaryData(int id, std::string_view data);

// A whole movie: compression 'F', 'C' or 'Z'. The End tag is added after `tags`.
std::string SwfMovie(char compression, int version, const std::vector<std::string>& tags);
// The same, with the declared file length given (a lie, for the bounds).
std::string SwfMovieDeclaring(char compression, int version, const std::vector<std::string>& tags,
                              std::uint32_t fileLength);

// A large movie made without holding it: `before`, a picture tag of `zeroBytes` zero bytes,
// `after`, compressed ('C' or 'Z') as it is written.
std::string SwfMovieWithZeros(char compression, int version, const std::vector<std::string>& before,
                              std::uint32_t zeroBytes, const std::vector<std::string>& after);

}  // namespace tavimo::test
