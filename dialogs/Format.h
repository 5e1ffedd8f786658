// Printf-style formatting over typed arguments: "%s" takes a string, "%d" an integer, and so on.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include <QString>

namespace corvane {

// One argument of a format: an integer, a floating-point number, a text or a pointer.
class TFormatArg {
public:
    enum class TKind { Integer, Int64, Float, String, Pointer };

    TFormatArg(int AValue) : FKind(TKind::Integer), FInteger(AValue) {}
    TFormatArg(unsigned AValue) : FKind(TKind::Int64), FInteger(AValue) {}
    TFormatArg(long AValue) : FKind(TKind::Int64), FInteger(AValue) {}
    TFormatArg(long long AValue) : FKind(TKind::Int64), FInteger(AValue) {}
    TFormatArg(unsigned long AValue)
        : FKind(TKind::Int64), FInteger(static_cast<std::int64_t>(AValue)) {}
    TFormatArg(unsigned long long AValue)
        : FKind(TKind::Int64), FInteger(static_cast<std::int64_t>(AValue)) {}
    TFormatArg(double AValue) : FKind(TKind::Float), FFloat(AValue) {}
    TFormatArg(const QString& AValue) : FKind(TKind::String), FString(AValue) {}
    TFormatArg(QChar AValue) : FKind(TKind::String), FString(AValue) {}
    TFormatArg(const char* AValue) : FKind(TKind::String), FString(QString::fromUtf8(AValue)) {}
    TFormatArg(const std::string& AValue)
        : FKind(TKind::String), FString(QString::fromStdString(AValue)) {}
    TFormatArg(std::string_view AValue)
        : FKind(TKind::String),
          FString(QString::fromUtf8(AValue.data(), static_cast<qsizetype>(AValue.size()))) {}
    TFormatArg(const void* AValue) : FKind(TKind::Pointer), FPointer(AValue) {}
    // A truth value is no format argument; this keeps it from passing as an integer.
    TFormatArg(bool) = delete;

    TKind Kind() const { return FKind; }
    std::int64_t Integer() const { return FInteger; }
    double Float() const { return FFloat; }
    const QString& String() const { return FString; }
    const void* Pointer() const { return FPointer; }

private:
    TKind FKind;
    std::int64_t FInteger = 0;
    double FFloat = 0.0;
    QString FString;
    const void* FPointer = nullptr;
};

// Formats AFormat with AArgs. A directive is "%" [index ":"] ["-"] [width] ["." precision] type,
// where index, width and precision are digits or "*" (taken from the arguments), and type is one
// of d (integer; precision = minimum digits), u (unsigned), x (hexadecimal, upper case), e
// (scientific; precision = significant digits, 15 by default), f (fixed; precision = decimals, 2
// by default), g (shortest of fixed and scientific, 15 significant digits by default), n (fixed
// with thousand separators), m (money), p (pointer) and s (text; precision = most characters);
// "%%" is a percent sign. Numbers use the default QLocale's decimal and group separators.
// Raises EConvertError ("Format '...' invalid or incompatible with argument", "No argument for
// format '...'") for a directive it cannot apply.
QString Format(const QString& AFormat, std::span<const TFormatArg> AArgs);
QString Format(const QString& AFormat, std::initializer_list<TFormatArg> AArgs);

} // namespace corvane
