#pragma once
// A work order on one station: how many of its units have passed and how
// many are on their way, so that no more than the quantity ever pass. The
// count starts from the records, so it survives a restart.
// Claim, Release and Passed are called on the bays' threads (and the record
// sink's caller); Passed/Complete from any thread.
#include <cstdint>
#include <mutex>
#include <string>

class IRecordStore;

class COrderCount {
public:
    COrderCount(uint64_t quantity, uint64_t passedBefore) : m_quantity(quantity), m_passed(passedBefore) {}

    // A place for one more unit; false once passed and claimed units fill the order.
    [[nodiscard]] bool Claim();
    // A claimed unit did not pass: its place is free again.
    void Release();
    // A claimed unit passed.
    void Passed();
    bool Complete() const;
    uint64_t PassedCount() const;
    uint64_t Quantity() const { return m_quantity; }

private:
    mutable std::mutex m_mutex;
    const uint64_t m_quantity;
    uint64_t m_passed;
    uint64_t m_claimed = 0;  // on their way: claimed, not yet passed or released
};

// The passed units of orderId that store holds. False with the store's error.
[[nodiscard]] bool CountOrderPassed(IRecordStore& store, const std::string& orderId, uint64_t& passed,
                                    std::string& error);
