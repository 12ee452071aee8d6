#include "capture/CssSelector.h"

#include <QList>
#include <QRegularExpression>

namespace {

struct Token
{
    enum Kind {
        Ident,
        Function, // the name, its "(" taken
        Hash,
        String,
        Number, // numbers, percentages and dimensions alike
        Whitespace,
        Delim,
        Colon,
        Comma,
        LParen,
        RParen,
        LBracket,
        RBracket,
        End,
    };
    Kind kind = End;
    QString value;       // a name with its escapes resolved; a delimiter's character
    qsizetype start = 0; // where it was in the text
    qsizetype end = 0;
    bool identHash = false; // a hash whose name could be an identifier: an id selector
};

// CSS Syntax's tokenizer, refusing every token that reaches past the selector it is in.
class Tokenizer
{
public:
    explicit Tokenizer(const QString& text) : m_text(text) {}

    bool Run(QList<Token>* tokens)
    {
        while (m_i < m_text.size()) {
            Token token;
            token.start = m_i;
            if (!Next(&token)) return false;
            token.end = m_i;
            tokens->append(token);
        }
        Token end;
        end.start = end.end = m_i;
        tokens->append(end);
        return true;
    }

private:
    QChar At(qsizetype i) const { return i < m_text.size() ? m_text.at(i) : QChar(); }
    static bool IsWhitespace(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f'; }
    static bool IsNameStart(QChar c)
    {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c.unicode() >= 0x80;
    }
    static bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }
    static bool IsHex(QChar c) { return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }
    static bool IsNameChar(QChar c) { return IsNameStart(c) || IsDigit(c) || c == u'-'; }
    static bool IsNewline(QChar c) { return c == u'\n' || c == u'\r' || c == u'\f'; }
    // An escape of nothing would escape the "{" that follows the selector in its rule.
    bool ValidEscape(qsizetype i) const { return At(i) == u'\\' && i + 1 < m_text.size() && !IsNewline(At(i + 1)); }
    bool StartsIdent(qsizetype i) const
    {
        if (At(i) == u'-') return IsNameStart(At(i + 1)) || At(i + 1) == u'-' || ValidEscape(i + 1);
        return IsNameStart(At(i)) || ValidEscape(i);
    }
    bool StartsNumber(qsizetype i) const
    {
        if (At(i) == u'+' || At(i) == u'-') ++i;
        return IsDigit(At(i)) || (At(i) == u'.' && IsDigit(At(i + 1)));
    }

    QChar Escape()
    {
        ++m_i; // the backslash
        if (!IsHex(At(m_i))) return m_text.at(m_i++);
        uint code = 0;
        for (int n = 0; n < 6 && IsHex(At(m_i)); ++n) {
            const char16_t h = At(m_i++).toLower().unicode();
            code = code * 16 + (h <= u'9' ? h - u'0' : h - u'a' + 10);
        }
        if (IsWhitespace(At(m_i))) ++m_i;
        return code == 0 || code > 0xFFFF ? QChar(0xFFFD) : QChar(char16_t(code));
    }

    QString Name()
    {
        QString name;
        for (;;) {
            if (m_i < m_text.size() && IsNameChar(At(m_i)))
                name += m_text.at(m_i++);
            else if (ValidEscape(m_i))
                name += Escape();
            else
                return name;
        }
    }

    bool Next(Token* token)
    {
        const QChar c = m_text.at(m_i);
        if (IsWhitespace(c)) {
            while (m_i < m_text.size() && IsWhitespace(m_text.at(m_i)))
                ++m_i;
            token->kind = Token::Whitespace;
            return true;
        }
        // Controls have no place in a selector; NUL would become U+FFFD in the engine's reading.
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return false;
        if (c == u'"' || c == u'\'') return QuotedString(c, token);
        if (StartsNumber(m_i)) {
            Numeric();
            token->kind = Token::Number;
            return true;
        }
        if (c == u'-' && At(m_i + 1) == u'-' && At(m_i + 2) == u'>') return false; // -->
        if (StartsIdent(m_i)) return IdentLike(token);
        switch (c.unicode()) {
        case '#':
            if (IsNameChar(At(m_i + 1)) || ValidEscape(m_i + 1)) {
                ++m_i;
                token->identHash = StartsIdent(m_i);
                token->kind = Token::Hash;
                token->value = Name();
                return true;
            }
            break;
        case '(':
            return Single(Token::LParen, token);
        case ')':
            return Single(Token::RParen, token);
        case '[':
            return Single(Token::LBracket, token);
        case ']':
            return Single(Token::RBracket, token);
        case ',':
            return Single(Token::Comma, token);
        case ':':
            return Single(Token::Colon, token);
        // Each would end the rule, open a block or an at-rule, or hide the rest in a comment.
        case ';':
        case '{':
        case '}':
        case '@':
        case '\\':
            return false;
        case '/':
            if (At(m_i + 1) == u'*') return false;
            break;
        case '<':
            if (m_text.mid(m_i, 4) == QLatin1String("<!--")) return false;
            break;
        default:
            break;
        }
        token->kind = Token::Delim;
        token->value = c;
        ++m_i;
        return true;
    }

    bool Single(Token::Kind kind, Token* token)
    {
        ++m_i;
        token->kind = kind;
        return true;
    }

    bool QuotedString(QChar quote, Token* token)
    {
        ++m_i;
        QString value;
        while (m_i < m_text.size()) {
            const QChar c = m_text.at(m_i);
            if (c == quote) {
                ++m_i;
                token->kind = Token::String;
                token->value = value;
                return true;
            }
            if (IsNewline(c)) return false; // a bad string: the rule would run on into the next
            if (c == u'\\') {
                if (m_i + 1 >= m_text.size()) return false;
                if (IsNewline(At(m_i + 1))) {
                    m_i += (At(m_i + 1) == u'\r' && At(m_i + 2) == u'\n') ? 3 : 2;
                    continue;
                }
                value += Escape();
                continue;
            }
            if (c.unicode() < 0x20 && c != u'\t') return false;
            value += c;
            ++m_i;
        }
        return false; // still open at the end: it would take the rule's block in
    }

    void Numeric()
    {
        if (At(m_i) == u'+' || At(m_i) == u'-') ++m_i;
        while (IsDigit(At(m_i)))
            ++m_i;
        if (At(m_i) == u'.' && IsDigit(At(m_i + 1))) {
            ++m_i;
            while (IsDigit(At(m_i)))
                ++m_i;
        }
        if ((At(m_i) == u'e' || At(m_i) == u'E') &&
            (IsDigit(At(m_i + 1)) || ((At(m_i + 1) == u'+' || At(m_i + 1) == u'-') && IsDigit(At(m_i + 2))))) {
            m_i += 2;
            while (IsDigit(At(m_i)))
                ++m_i;
        }
        if (StartsIdent(m_i))
            Name();
        else if (At(m_i) == u'%')
            ++m_i;
    }

    bool IdentLike(Token* token)
    {
        token->value = Name();
        if (At(m_i) != u'(') {
            token->kind = Token::Ident;
            return true;
        }
        // url( reads on as an address up to its ")", whatever it passes.
        if (token->value.compare(QLatin1String("url"), Qt::CaseInsensitive) == 0) return false;
        ++m_i;
        token->kind = Token::Function;
        return true;
    }

    const QString& m_text;
    qsizetype m_i = 0;
};

// Selectors Level 4 over the tokens: a selector list of complex selectors.
class Parser
{
public:
    Parser(const QString& text, const QList<Token>& tokens) : m_text(text), m_tokens(tokens) {}

    bool Whole() { return SelectorList(false) && Peek().kind == Token::End; }

private:
    const Token& Peek(qsizetype ahead = 0) const { return m_tokens.at(qMin(m_at + ahead, m_tokens.size() - 1)); }
    void Take() { m_at = qMin(m_at + 1, m_tokens.size() - 1); }
    bool IsDelim(const Token& t, char16_t c) const { return t.kind == Token::Delim && t.value.at(0) == c; }
    bool SkipWhitespace()
    {
        bool skipped = false;
        while (Peek().kind == Token::Whitespace) {
            Take();
            skipped = true;
        }
        return skipped;
    }
    bool IsCombinator(const Token& t) const { return IsDelim(t, u'>') || IsDelim(t, u'+') || IsDelim(t, u'~'); }
    bool StartsCompound(const Token& t) const
    {
        return t.kind == Token::Ident || t.kind == Token::Hash || t.kind == Token::LBracket || t.kind == Token::Colon ||
               IsDelim(t, u'*') || IsDelim(t, u'|') || IsDelim(t, u'.');
    }
    bool IsNameOrAny(const Token& t) const { return t.kind == Token::Ident || IsDelim(t, u'*'); }

    bool SelectorList(bool relative)
    {
        SkipWhitespace();
        if (!Complex(relative)) return false;
        SkipWhitespace();
        while (Peek().kind == Token::Comma) {
            Take();
            SkipWhitespace();
            if (!Complex(relative)) return false;
            SkipWhitespace();
        }
        return true;
    }

    bool Complex(bool relative)
    {
        if (relative && IsCombinator(Peek())) {
            Take();
            SkipWhitespace();
        }
        if (!Compound()) return false;
        for (;;) {
            const bool spaced = SkipWhitespace();
            if (IsCombinator(Peek())) {
                Take();
                SkipWhitespace();
                if (!Compound()) return false;
            } else if (spaced && StartsCompound(Peek())) {
                if (!Compound()) return false;
            } else {
                return true;
            }
        }
    }

    bool Compound()
    {
        bool any = false;
        // A type or universal selector, with a namespace prefix or not.
        if (IsNameOrAny(Peek())) {
            Take();
            any = true;
            if (IsDelim(Peek(), u'|') && IsNameOrAny(Peek(1))) {
                Take();
                Take();
            }
        } else if (IsDelim(Peek(), u'|') && IsNameOrAny(Peek(1))) {
            Take();
            Take();
            any = true;
        }
        for (;;) {
            const Token& t = Peek();
            if (t.kind == Token::Hash) {
                if (!t.identHash) return false;
                Take();
            } else if (IsDelim(t, u'.')) {
                Take();
                if (Peek().kind != Token::Ident) return false;
                Take();
            } else if (t.kind == Token::LBracket) {
                if (!Attribute()) return false;
            } else if (t.kind == Token::Colon) {
                if (!Pseudo()) return false;
            } else {
                return any;
            }
            any = true;
        }
    }

    bool Attribute()
    {
        Take(); // [
        SkipWhitespace();
        if (IsNameOrAny(Peek()) && IsDelim(Peek(1), u'|') && Peek(2).kind == Token::Ident) {
            Take();
            Take();
        } else if (IsDelim(Peek(), u'|') && Peek(1).kind == Token::Ident) {
            Take();
        }
        if (Peek().kind != Token::Ident) return false;
        Take();
        SkipWhitespace();
        if (Peek().kind == Token::RBracket) {
            Take();
            return true;
        }
        if (IsDelim(Peek(), u'=')) {
            Take();
        } else if (Peek().kind == Token::Delim && QStringLiteral("~|^$*").contains(Peek().value) &&
                   IsDelim(Peek(1), u'=') && Peek(1).start == Peek().end) {
            Take();
            Take();
        } else {
            return false;
        }
        SkipWhitespace();
        if (Peek().kind != Token::Ident && Peek().kind != Token::String) return false;
        Take();
        SkipWhitespace();
        if (Peek().kind == Token::Ident && (Peek().value.compare(QLatin1String("i"), Qt::CaseInsensitive) == 0 ||
                                            Peek().value.compare(QLatin1String("s"), Qt::CaseInsensitive) == 0)) {
            Take();
            SkipWhitespace();
        }
        if (Peek().kind != Token::RBracket) return false;
        Take();
        return true;
    }

    bool Pseudo()
    {
        Take(); // :
        if (Peek().kind == Token::Colon) Take();
        if (Peek().kind == Token::Ident) {
            Take();
            return true;
        }
        if (Peek().kind != Token::Function) return false;
        const QString name = Peek().value.toLower();
        Take();
        static const QStringList selectorTaking = {
            QStringLiteral("not"),          QStringLiteral("is"),          QStringLiteral("where"),
            QStringLiteral("matches"),      QStringLiteral("-webkit-any"), QStringLiteral("host"),
            QStringLiteral("host-context"), QStringLiteral("slotted"),     QStringLiteral("cue")};
        // Deeper than any real selector nests; a stack overflow is no way to say no.
        if (++m_depth > kMaxDepth) return false;
        bool ok = false;
        if (selectorTaking.contains(name))
            ok = SelectorList(false);
        else if (name == QLatin1String("has"))
            ok = SelectorList(true);
        else if (name == QLatin1String("nth-child") || name == QLatin1String("nth-last-child"))
            ok = AnPlusB(true);
        else if (name.startsWith(QLatin1String("nth-")))
            ok = AnPlusB(false);
        else
            ok = Balanced();
        --m_depth;
        if (!ok || Peek().kind != Token::RParen) return false;
        Take();
        return true;
    }

    // "odd", "even", "3", "-n+2", "2n + 1", and for the child ones "... of S".
    bool AnPlusB(bool ofSelector)
    {
        QString text;
        for (;;) {
            const Token& t = Peek();
            if (t.kind == Token::Ident && ofSelector && !text.isEmpty() &&
                t.value.compare(QLatin1String("of"), Qt::CaseInsensitive) == 0) {
                Take();
                if (!SkipWhitespace()) return false;
                if (!SelectorList(false)) return false;
                break;
            }
            if (t.kind == Token::Whitespace) {
                Take();
                continue;
            }
            if (t.kind != Token::Ident && t.kind != Token::Number && !IsDelim(t, u'+') && !IsDelim(t, u'-')) break;
            text += m_text.mid(t.start, t.end - t.start);
            Take();
        }
        static const QRegularExpression pattern(
            QStringLiteral("^(?:odd|even|[+-]?[0-9]*n(?:[+-][0-9]+)?|[+-]?[0-9]+)$"),
            QRegularExpression::CaseInsensitiveOption);
        return pattern.match(text).hasMatch();
    }

    // Arguments of a pseudo-class this check does not know: anything, brackets paired.
    bool Balanced()
    {
        QList<Token::Kind> open;
        for (;;) {
            const Token& t = Peek();
            if (t.kind == Token::End) return false;
            if (t.kind == Token::RParen && open.isEmpty()) return true;
            if (t.kind == Token::Function || t.kind == Token::LParen) open << Token::RParen;
            if (t.kind == Token::LBracket) open << Token::RBracket;
            if (t.kind == Token::RParen || t.kind == Token::RBracket) {
                if (open.isEmpty() || open.takeLast() != t.kind) return false;
            }
            Take();
        }
    }

    static constexpr int kMaxDepth = 32;
    const QString& m_text;
    const QList<Token>& m_tokens;
    qsizetype m_at = 0;
    int m_depth = 0;
};

} // namespace

bool IsCssSelectorList(const QString& text)
{
    QList<Token> tokens;
    if (!Tokenizer(text).Run(&tokens)) return false;
    return Parser(text, tokens).Whole();
}
