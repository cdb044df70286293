#pragma once

// Owns a run of GL names of one kind (display lists or one buffer object) and deletes them with itself,
// so that an exception or an early return never leaks them. Moves, never copies. The context that made
// the names (or one sharing with it) must be current when they are deleted.
class GLName
{
public:
    GLName() = default;
    ~GLName();
    GLName(GLName&& other) noexcept;
    GLName& operator=(GLName&& other) noexcept;
    GLName(const GLName&) = delete;
    GLName& operator=(const GLName&) = delete;

    // count consecutive display lists; empty when the driver gives none.
    static GLName GenLists(int count);
    // One buffer object (GL 1.5); empty when the driver gives none.
    static GLName GenBuffer();

    unsigned int Get() const { return m_name; }
    int GetCount() const { return m_count; }
    bool IsEmpty() const { return m_name == 0; }
    // Deletes the names now; the handle is empty afterwards.
    void Reset();

private:
    enum class Kind
    {
        kLists,
        kBuffer
    };
    GLName(unsigned int name, int count, Kind kind);

    unsigned int m_name = 0;
    int m_count = 0;
    Kind m_kind = Kind::kLists;
};
