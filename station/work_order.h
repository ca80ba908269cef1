#pragma once
// A work order: how many of its units have passed and how many are on their
// way, so that no more than the quantity ever pass. On one station the count
// starts from its records (COrderCount); on a line's PostgreSQL server every
// station reserves its units' places in one table there (CServerOrder), so
// several stations never pass more than the quantity together.
//
// Claim and Settle are called on the bays' threads, several at once; the
// rest from the owner thread (the command line's main thread, the desktop
// window's thread). Nothing here prints: trouble goes to a handler.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "station/station.h"

class IRecordStore;
class CPostgresRecordStore;

class IWorkOrder {
public:
    virtual ~IWorkOrder() = default;
    // A place for the unit on bay; Full once passed and claimed units fill the order.
    [[nodiscard]] virtual OrderClaim Claim(size_t bay) = 0;
    // How the bay's claimed unit ended: one that did not pass frees its place.
    virtual void Settle(size_t bay, bool passed) = 0;
    // Every place is taken by a unit that passed: nothing is on its way here.
    virtual bool Complete() = 0;
    virtual uint64_t PassedCount() = 0;
    virtual uint64_t Quantity() const = 0;
};

class COrderCount final : public IWorkOrder {
public:
    COrderCount(uint64_t quantity, uint64_t passedBefore) : m_quantity(quantity), m_passed(passedBefore) {}

    [[nodiscard]] OrderClaim Claim(size_t bay) override;
    void Settle(size_t bay, bool passed) override;
    bool Complete() override;
    uint64_t PassedCount() override;
    uint64_t Quantity() const override { return m_quantity; }

private:
    std::mutex m_mutex;
    const uint64_t m_quantity;
    uint64_t m_passed;
    uint64_t m_claimed = 0;  // on their way: claimed, not yet settled
};

// The order on a line's server. A reservation that never passed stops
// counting after kClaimLifetime (a station that died with a unit in hand).
class CServerOrder final : public IWorkOrder {
public:
    static constexpr int64_t kClaimLifetimeMs = 10 * 60 * 1000;
    // Null with error when the locator cannot name a server.
    // trouble hears (on a bay's thread) why a claim could not be counted on the server.
    using TroubleHandler = std::function<void(const std::string& text)>;
    static std::unique_ptr<CServerOrder> Create(const std::string& locator, const std::string& orderId,
                                                uint64_t quantity, const std::string& station, std::string& error,
                                                TroubleHandler trouble = {});
    ~CServerOrder() override;

    [[nodiscard]] OrderClaim Claim(size_t bay) override;
    void Settle(size_t bay, bool passed) override;
    bool Complete() override;
    uint64_t PassedCount() override;
    uint64_t Quantity() const override { return m_quantity; }
    // The server's last error, for the person.
    std::string LastError();

private:
    CServerOrder(std::unique_ptr<CPostgresRecordStore> server, std::string orderId, uint64_t quantity,
                 std::string station, TroubleHandler trouble);
    // Settles what could not be settled before; false while the server is away.
    bool SettleLeftovers();

    std::mutex m_mutex;
    std::unique_ptr<CPostgresRecordStore> m_server;
    const std::string m_orderId;
    const uint64_t m_quantity;
    const std::string m_station;
    const TroubleHandler m_trouble;
    std::vector<std::string> m_claims;                          // per bay: its unit's claim, "" none
    std::vector<std::pair<std::string, bool>> m_unsettled;      // claim, passed
    bool m_full = false;                                        // a claim was refused
};

// The passed units of orderId that store holds. False with the store's error.
[[nodiscard]] bool CountOrderPassed(IRecordStore& store, const std::string& orderId, uint64_t& passed,
                                    std::string& error);

// Opens orderId's count: on the line's server when the records go to one
// (locator), else from the passed units that store (the station's records)
// holds. Null with error set; serverFailed tells which of the two failed.
std::unique_ptr<IWorkOrder> OpenWorkOrder(const std::string& locator, IRecordStore& store, const std::string& orderId,
                                          uint64_t quantity, const std::string& station, std::string& error,
                                          bool& serverFailed, CServerOrder::TroubleHandler trouble = {});
