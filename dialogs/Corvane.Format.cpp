#include "Corvane.Format.h"

#include "Corvane.Errors.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>

namespace corvane {

namespace {

// Beyond this a width or precision is surely a mistake; it would only allocate memory.
constexpr int MaxFieldSize = 65536;

class TFormatter {
public:
    TFormatter(const QString& AFormat, std::span<const TFormatArg> AArgs)
        : FFormat(AFormat), FArgs(AArgs) {}

    QString Run() {
        QString LResult;
        LResult.reserve(FFormat.size());
        while (FPos < FFormat.size()) {
            const QChar LChar = FFormat.at(FPos++);
            if (LChar != u'%') {
                LResult += LChar;
                continue;
            }
            if (Peek() == u'%') {
                ++FPos;
                LResult += u'%';
                continue;
            }
            LResult += Directive();
        }
        return LResult;
    }

private:
    [[noreturn]] void Invalid() const {
        throw EConvertError("Format '" + FFormat.toStdString() +
                            "' invalid or incompatible with argument");
    }

    QChar Peek() const { return FPos < FFormat.size() ? FFormat.at(FPos) : QChar(); }

    const TFormatArg& NextArg() {
        if (FArgIndex >= FArgs.size())
            throw EConvertError("No argument for format '" + FFormat.toStdString() + "'");
        return FArgs[FArgIndex++];
    }

    // Digits, or "*" for an integer argument; nothing when neither is there.
    std::optional<int> Number() {
        if (Peek() == u'*') {
            ++FPos;
            const TFormatArg& LArg = NextArg();
            if (LArg.Kind() != TFormatArg::TKind::Integer &&
                LArg.Kind() != TFormatArg::TKind::Int64)
                Invalid();
            if (LArg.Integer() > MaxFieldSize)
                Invalid();
            return static_cast<int>(std::max<std::int64_t>(LArg.Integer(), 0));
        }
        if (!Peek().isDigit())
            return std::nullopt;
        int LValue = 0;
        while (Peek().isDigit()) {
            LValue = LValue * 10 + Peek().digitValue();
            ++FPos;
            if (LValue > MaxFieldSize)
                Invalid();
        }
        return LValue;
    }

    QString Directive() {
        std::optional<int> LNumber = Number();
        if (Peek() == u':') {
            ++FPos;
            if (!LNumber)
                Invalid();
            FArgIndex = static_cast<std::size_t>(*LNumber);
            LNumber.reset();
        }
        bool LLeft = false;
        if (!LNumber) {
            if (Peek() == u'-') {
                ++FPos;
                LLeft = true;
            }
            LNumber = Number();
        }
        const int LWidth = LNumber.value_or(0);
        std::optional<int> LPrecision;
        if (Peek() == u'.') {
            ++FPos;
            LPrecision = Number().value_or(0);
        }
        if (FPos >= FFormat.size())
            Invalid();
        const char LType = static_cast<char>(FFormat.at(FPos++).toLower().toLatin1());
        const QString LText = Convert(LType, NextArg(), LPrecision);
        if (LText.size() >= LWidth)
            return LText;
        const QString LPadding(LWidth - LText.size(), u' ');
        return LLeft ? LText + LPadding : LPadding + LText;
    }

    QString Convert(char AType, const TFormatArg& AArg, std::optional<int> APrecision) {
        using K = TFormatArg::TKind;
        const bool LIsInteger = AArg.Kind() == K::Integer || AArg.Kind() == K::Int64;
        switch (AType) {
        case 'd':
        case 'u':
        case 'x': {
            if (!LIsInteger)
                Invalid();
            const std::int64_t LValue = AArg.Integer();
            std::uint64_t LMagnitude;
            bool LNegative = false;
            if (AType == 'd') {
                LNegative = LValue < 0;
                LMagnitude = LNegative ? 0 - static_cast<std::uint64_t>(LValue)
                                       : static_cast<std::uint64_t>(LValue);
            } else if (AArg.Kind() == K::Integer) {
                // A 32-bit integer reads as its 32-bit pattern.
                LMagnitude = static_cast<std::uint32_t>(static_cast<std::int32_t>(LValue));
            } else {
                LMagnitude = static_cast<std::uint64_t>(LValue);
            }
            QString LDigits = QString::number(LMagnitude, AType == 'x' ? 16 : 10).toUpper();
            if (APrecision && LDigits.size() < *APrecision)
                LDigits.prepend(QString(*APrecision - LDigits.size(), u'0'));
            return LNegative ? u'-' + LDigits : LDigits;
        }
        case 'e':
        case 'f':
        case 'g':
        case 'n':
        case 'm':
            if (AArg.Kind() != K::Float)
                Invalid();
            return FormatFloat(AType, AArg.Float(), APrecision);
        case 'p': {
            if (AArg.Kind() != K::Pointer)
                Invalid();
            const auto LAddress = reinterpret_cast<std::uintptr_t>(AArg.Pointer());
            return QStringLiteral("%1")
                .arg(static_cast<qulonglong>(LAddress), int(2 * sizeof(void*)), 16, QChar(u'0'))
                .toUpper();
        }
        case 's':
            if (AArg.Kind() != K::String)
                Invalid();
            if (APrecision && AArg.String().size() > *APrecision)
                return AArg.String().left(*APrecision);
            return AArg.String();
        default:
            Invalid();
        }
    }

    static QString FormatFloat(char AType, double AValue, std::optional<int> APrecision) {
        if (std::isnan(AValue))
            return QStringLiteral("NAN");
        if (std::isinf(AValue))
            return AValue < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
        const QLocale LLocale;
        switch (AType) {
        case 'f':
            return Fixed(AValue, std::min(APrecision.value_or(2), 18), QString(), LLocale);
        case 'n':
            return Fixed(AValue, std::min(APrecision.value_or(2), 18), LLocale.groupSeparator(),
                         LLocale);
        case 'm':
            return LLocale.toCurrencyString(AValue, QString(),
                                            std::min(APrecision.value_or(2), 18));
        case 'e':
            return Scientific(AValue, std::clamp(APrecision.value_or(15), 1, 18), LLocale);
        default:
            return General(AValue, std::clamp(APrecision.value_or(15), 1, 18), LLocale);
        }
    }

    // Locale-free digits ("1234.50", "1.2345e+03"), whatever the C library's locale is.
    static std::string Print(std::chars_format AFormat, int APrecision, double AValue) {
        char LBuffer[512];
        const auto LEnd =
            std::to_chars(LBuffer, LBuffer + sizeof LBuffer, AValue, AFormat, APrecision);
        return std::string(LBuffer, LEnd.ptr);
    }

    static QString Fixed(double AValue, int ADecimals, const QString& AGroup,
                         const QLocale& ALocale) {
        const std::string LText = Print(std::chars_format::fixed, ADecimals, AValue);
        const bool LNegative = LText.front() == '-';
        const std::string LBody = LNegative ? LText.substr(1) : LText;
        const std::size_t LPoint = LBody.find('.');
        QString LInteger = QString::fromLatin1(LBody.substr(0, LPoint));
        if (!AGroup.isEmpty())
            for (qsizetype i = LInteger.size() - 3; i > 0; i -= 3)
                LInteger.insert(i, AGroup);
        QString LResult = LNegative ? u'-' + LInteger : LInteger;
        if (LPoint != std::string::npos)
            LResult += ALocale.decimalPoint() + QString::fromLatin1(LBody.substr(LPoint + 1));
        return LResult;
    }

    // The digits (without trailing zeros unless kept) and the power of ten of the first one.
    struct TDigits {
        bool Negative;
        std::string Digits;
        int Exponent;
    };

    static TDigits Decompose(double AValue, int APrecision) {
        const std::string LText = Print(std::chars_format::scientific, APrecision - 1, AValue);
        TDigits LResult{LText.front() == '-', {}, 0};
        const std::size_t LE = LText.find('e');
        for (std::size_t i = LResult.Negative ? 1 : 0; i < LE; ++i)
            if (LText[i] != '.')
                LResult.Digits += LText[i];
        LResult.Exponent = std::stoi(LText.substr(LE + 1));
        return LResult;
    }

    static QString Scientific(double AValue, int APrecision, const QLocale& ALocale) {
        const TDigits LDigits = Decompose(AValue, APrecision);
        QString LResult = LDigits.Negative ? QStringLiteral("-") : QString();
        LResult += QLatin1Char(LDigits.Digits.front());
        if (LDigits.Digits.size() > 1)
            LResult += ALocale.decimalPoint() + QString::fromLatin1(LDigits.Digits.substr(1));
        const int LExponent = LDigits.Exponent;
        LResult += LExponent < 0 ? QStringLiteral("E-") : QStringLiteral("E+");
        LResult += QStringLiteral("%1").arg(std::abs(LExponent), 3, 10, QChar(u'0'));
        return LResult;
    }

    static QString General(double AValue, int APrecision, const QLocale& ALocale) {
        if (AValue == 0)
            return QStringLiteral("0");
        TDigits LDigits = Decompose(AValue, APrecision);
        while (LDigits.Digits.size() > 1 && LDigits.Digits.back() == '0')
            LDigits.Digits.pop_back();
        const QString LSign = LDigits.Negative ? QStringLiteral("-") : QString();
        const QString LAll = QString::fromLatin1(LDigits.Digits);
        // Digits before the decimal point.
        const int LWhole = LDigits.Exponent + 1;
        if (LWhole > APrecision || LWhole < -3) {
            QString LResult = LSign + LAll.front();
            if (LAll.size() > 1)
                LResult += ALocale.decimalPoint() + LAll.mid(1);
            return LResult + u'E' + QString::number(LDigits.Exponent);
        }
        if (LWhole <= 0)
            return LSign + u'0' + ALocale.decimalPoint() + QString(-LWhole, u'0') + LAll;
        if (LWhole >= LAll.size())
            return LSign + LAll + QString(LWhole - LAll.size(), u'0');
        return LSign + LAll.left(LWhole) + ALocale.decimalPoint() + LAll.mid(LWhole);
    }

    const QString& FFormat;
    std::span<const TFormatArg> FArgs;
    qsizetype FPos = 0;
    std::size_t FArgIndex = 0;
};

} // namespace

QString Format(const QString& AFormat, std::span<const TFormatArg> AArgs) {
    return TFormatter(AFormat, AArgs).Run();
}

QString Format(const QString& AFormat, std::initializer_list<TFormatArg> AArgs) {
    return Format(AFormat, std::span<const TFormatArg>(AArgs.begin(), AArgs.size()));
}

} // namespace corvane
