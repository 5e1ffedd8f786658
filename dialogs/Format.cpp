#include "dialogs/Format.h"

#include "platform/Errors.h"

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

    // A number as decimal digits d.ddd times 10 to the Exponent; no digits is zero.
    struct TDecimal {
        bool Negative = false;
        std::string Digits;
        int Exponent = 0;

        char At(int AIndex) const {
            return AIndex >= 0 && AIndex < static_cast<int>(Digits.size()) ? Digits[AIndex] : '0';
        }
    };

    // The shortest digits that read back as AValue (locale-free, whatever the C library's
    // locale is); rounding then works on these, halves up, as a person rounds "2.675".
    static TDecimal Decompose(double AValue) {
        char LBuffer[64];
        const auto LEnd =
            std::to_chars(LBuffer, LBuffer + sizeof LBuffer, AValue, std::chars_format::scientific);
        const std::string LText(LBuffer, LEnd.ptr);
        TDecimal LResult;
        LResult.Negative = LText.front() == '-';
        const std::size_t LE = LText.find('e');
        for (std::size_t i = LResult.Negative ? 1 : 0; i < LE; ++i)
            if (LText[i] != '.')
                LResult.Digits += LText[i];
        LResult.Exponent = std::stoi(LText.substr(LE + 1));
        while (!LResult.Digits.empty() && LResult.Digits.back() == '0')
            LResult.Digits.pop_back();
        return LResult;
    }

    // Keeps AKeep significant digits, rounding half up.
    static void Round(TDecimal& ADecimal, int AKeep) {
        if (AKeep >= static_cast<int>(ADecimal.Digits.size()))
            return;
        const bool LUp = AKeep >= 0 && ADecimal.Digits[AKeep] >= '5';
        ADecimal.Digits.resize(static_cast<std::size_t>(std::max(AKeep, 0)));
        if (LUp) {
            int i = AKeep - 1;
            while (i >= 0 && ADecimal.Digits[i] == '9')
                ADecimal.Digits[i--] = '0';
            if (i >= 0) {
                ++ADecimal.Digits[i];
            } else {
                ADecimal.Digits.insert(ADecimal.Digits.begin(), '1');
                ++ADecimal.Exponent;
            }
        }
        while (!ADecimal.Digits.empty() && ADecimal.Digits.back() == '0')
            ADecimal.Digits.pop_back();
    }

    static QString Sign(const TDecimal& ADecimal) {
        return ADecimal.Negative && !ADecimal.Digits.empty() ? QStringLiteral("-") : QString();
    }

    static QString Fixed(double AValue, int ADecimals, const QString& AGroup,
                         const QLocale& ALocale) {
        TDecimal LDecimal = Decompose(AValue);
        if (!LDecimal.Digits.empty())
            Round(LDecimal, LDecimal.Exponent + 1 + ADecimals);
        if (LDecimal.Digits.empty())
            LDecimal.Exponent = 0;
        QString LInteger;
        for (int LPower = std::max(LDecimal.Exponent, 0); LPower >= 0; --LPower)
            LInteger += QLatin1Char(LDecimal.At(LDecimal.Exponent - LPower));
        if (!AGroup.isEmpty())
            for (qsizetype i = LInteger.size() - 3; i > 0; i -= 3)
                LInteger.insert(i, AGroup);
        QString LResult = Sign(LDecimal) + LInteger;
        if (ADecimals > 0) {
            LResult += ALocale.decimalPoint();
            for (int LPower = -1; LPower >= -ADecimals; --LPower)
                LResult += QLatin1Char(LDecimal.At(LDecimal.Exponent - LPower));
        }
        return LResult;
    }

    static QString Scientific(double AValue, int APrecision, const QLocale& ALocale) {
        TDecimal LDecimal = Decompose(AValue);
        Round(LDecimal, APrecision);
        if (LDecimal.Digits.empty())
            LDecimal.Exponent = 0;
        QString LResult = Sign(LDecimal) + QLatin1Char(LDecimal.At(0));
        if (APrecision > 1) {
            LResult += ALocale.decimalPoint();
            for (int i = 1; i < APrecision; ++i)
                LResult += QLatin1Char(LDecimal.At(i));
        }
        LResult += LDecimal.Exponent < 0 ? QStringLiteral("E-") : QStringLiteral("E+");
        LResult += QStringLiteral("%1").arg(std::abs(LDecimal.Exponent), 3, 10, QChar(u'0'));
        return LResult;
    }

    static QString General(double AValue, int APrecision, const QLocale& ALocale) {
        TDecimal LDecimal = Decompose(AValue);
        Round(LDecimal, APrecision);
        if (LDecimal.Digits.empty())
            return QStringLiteral("0");
        const QString LDigits = QString::fromLatin1(LDecimal.Digits);
        // Scientific when the number has more whole digits than the precision, or is so small
        // that fixed notation would start with more than three zeros.
        const int LWhole = LDecimal.Exponent + 1;
        if (LWhole > APrecision || LWhole < -3) {
            QString LResult = Sign(LDecimal) + LDigits.front();
            if (LDigits.size() > 1)
                LResult += ALocale.decimalPoint() + LDigits.mid(1);
            return LResult + u'E' + QString::number(LDecimal.Exponent);
        }
        if (LWhole <= 0)
            return Sign(LDecimal) + u'0' + ALocale.decimalPoint() + QString(-LWhole, u'0') +
                   LDigits;
        if (LWhole >= LDigits.size())
            return Sign(LDecimal) + LDigits + QString(LWhole - LDigits.size(), u'0');
        return Sign(LDecimal) + LDigits.left(LWhole) + ALocale.decimalPoint() + LDigits.mid(LWhole);
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
