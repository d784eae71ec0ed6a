// Errors raised by the media layer and the game. Every failure the player can
// meet is an exception carrying the user-facing text (UTF-8), which the shell's
// error report shows as it stands.
#pragma once

#include "base/Translate.h"

#include <stdexcept>
#include <string>

namespace tappo {

class Error : public std::runtime_error {
  public:
    explicit Error(const std::string& text) : std::runtime_error(text) {}
};

// A file the player cannot open. Kept apart so callers can tell "missing" from
// "malformed" when they decide whether to carry on.
class FileOpenError : public Error {
  public:
    explicit FileOpenError(const std::string& path);
};

// Replaces each %s / %d in `pattern` by the next argument, in order.
std::string FormatText(const std::string& pattern, const std::string& a);
std::string FormatText(const std::string& pattern, const std::string& a, const std::string& b);
std::string FormatText(const std::string& pattern, long long a);
std::string FormatText(const std::string& pattern, long long a, long long b, long long c);

// Texts shared by several readers.
namespace text {
inline constexpr const char* FileOpen = ForCatalogue("ファイル %s は開けません");
inline constexpr const char* StreamFormat = ForCatalogue("不正なストリーム フォーマット");
inline constexpr const char* StreamRead = ForCatalogue("ストリームからの読み込みエラー");
inline constexpr const char* PropertyMissing = ForCatalogue("プロパティが存在しません");
inline constexpr const char* PropertyValue = ForCatalogue("無効なプロパティ値です");
inline constexpr const char* InvalidDib = ForCatalogue("不正な DIB です");
inline constexpr const char* InvalidBitmap = ForCatalogue("ビットマップイメージが不正です");
inline constexpr const char* ListIndex =
    ForCatalogue("リストのインデックスが範囲を超えています (%d)");
inline constexpr const char* ScanLine =
    ForCatalogue("スキャンラインのインデックスが範囲を越えました (%d)");
inline constexpr const char* NotCreated = ForCatalogue("%s は作成されていません");
inline constexpr const char* CannotCreate = ForCatalogue("%s を作成できません");
inline constexpr const char* DisplayMode =
    ForCatalogue("ディスプレイモードを変更できません (%dx%d %dbit)");
inline constexpr const char* JpegError = ForCatalogue("JPEG エラー #%d");
inline constexpr const char* UnknownExtension =
    ForCatalogue("拡張子 .%s の画像形式は処理できません");
} // namespace text

} // namespace tappo
