namespace orvane::platform {}
