#pragma once

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <vector>

// A dense set of ontology label indices. Every label owns three of these (itself, its subtree, its
// children) and the rest of the program names any choice of structures with one, so the set
// operations work a whole word at a time.
template <typename Word>
class GeneralAnnotationSelector
{
public:
    GeneralAnnotationSelector(unsigned int maxIndex, bool allSet)
        : m_words((maxIndex >> SHIFT) + 1, allSet ? ~Word(0) : Word(0))
    {
    }

    void Set(unsigned int index, bool value)
    {
        const unsigned int word = index >> SHIFT;
        if (word >= m_words.size())
            throw std::invalid_argument("Index exceeds selector length.");
        const Word bit = Word(1) << (index & (BITS - 1));
        if (value)
            m_words[word] |= bit;
        else
            m_words[word] &= ~bit;
    }

    void Set(GeneralAnnotationSelector other, bool value)
    {
        EqualiseLength(other);
        for (size_t i = 0; i < m_words.size(); ++i)
        {
            if (value)
                m_words[i] |= other.m_words[i];
            else
                m_words[i] &= ~other.m_words[i];
        }
    }

    void Merge(GeneralAnnotationSelector other) { Set(std::move(other), true); }

    // Complements the set over the indices below count; the bits from count on stay clear, so that an
    // inverted selection never names a label the ontology does not have.
    void Invert(unsigned int count)
    {
        for (size_t i = 0; i < m_words.size(); ++i)
        {
            const unsigned long long first = static_cast<unsigned long long>(i) * BITS;
            Word keep = ~Word(0);
            if (first >= count)
                keep = Word(0);
            else if (count - first < BITS)
                keep = (Word(1) << (count - first)) - 1;
            m_words[i] = ~m_words[i] & keep;
        }
    }

    bool Intersects(const GeneralAnnotationSelector& other) const
    {
        const size_t common = std::min(m_words.size(), other.m_words.size());
        for (size_t i = 0; i < common; ++i)
            if (m_words[i] & other.m_words[i])
                return true;
        return false;
    }

    bool IsSet(unsigned int index) const
    {
        const unsigned int word = index >> SHIFT;
        return word < m_words.size() && (m_words[word] >> (index & (BITS - 1))) & Word(1);
    }

    bool IsEmpty() const
    {
        return std::all_of(m_words.begin(), m_words.end(), [](Word w) { return w == 0; });
    }

    size_t GetNumWords() const { return m_words.size(); }
    const std::vector<Word>& GetWords() const { return m_words; }

    bool operator==(const GeneralAnnotationSelector& other) const { return m_words == other.m_words; }
    bool operator!=(const GeneralAnnotationSelector& other) const { return m_words != other.m_words; }

    static constexpr unsigned int BITS = sizeof(Word) * CHAR_BIT;
    static constexpr unsigned int SHIFT = BITS == 64 ? 6 : BITS == 32 ? 5 : BITS == 16 ? 4 : 3;

private:
    // Selectors built for different label counts meet here: the shorter one grows with empty words.
    void EqualiseLength(GeneralAnnotationSelector& other)
    {
        const size_t n = std::max(m_words.size(), other.m_words.size());
        m_words.resize(n, Word(0));
        other.m_words.resize(n, Word(0));
    }

    std::vector<Word> m_words;
};
